// The build's installation steps for the database and the settings file: they make a missing
// file and never replace one that is there (an operator's register and settings live in it).
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

int RunCMakeScript(const QStringList& definitions, const QString& script) {
    QStringList args = definitions;
    args << "-P" << script;
    QProcess cmake;
    cmake.start(STATION_CMAKE_COMMAND, args);
    cmake.waitForFinished(30000);
    return cmake.exitCode();
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(InstalledFiles, DatabaseIsMadeOnceAndNeverReplaced) {
    QTemporaryDir dir;
    const QString out = dir.filePath("bin/newdb.mdb");
    const QStringList defs = {"-DSQLITE3=" STATION_SQLITE3, "-DSCHEMA=" STATION_SCHEMA_FILE,
                              "-DOUT=" + out};
    ASSERT_EQ(RunCMakeScript(defs, STATION_MAKE_DATABASE_SCRIPT), 0);
    ASSERT_TRUE(QFile::exists(out));
    EXPECT_TRUE(Contents(out).startsWith("SQLite format 3"));
    EXPECT_FALSE(QFile::exists(out + ".new"));

    {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("operator's register");
    }
    ASSERT_EQ(RunCMakeScript(defs, STATION_MAKE_DATABASE_SCRIPT), 0);
    EXPECT_EQ(Contents(out), "operator's register");
}

TEST(InstalledFiles, SettingsFileIsCopiedOnceAndNeverReplaced) {
    QTemporaryDir dir;
    const QString out = dir.filePath("peizhi.ini");
    const QStringList defs = {"-DSRC=" STATION_DEFAULT_INI, "-DOUT=" + out};
    ASSERT_EQ(RunCMakeScript(defs, STATION_INSTALL_IF_MISSING_SCRIPT), 0);
    const QByteArray installed = Contents(out);
    EXPECT_TRUE(installed.contains("start=0\n"));
    EXPECT_TRUE(installed.contains("icon=0\n"));
    EXPECT_TRUE(installed.contains("title=告 警 信 息 表\n"));
    EXPECT_TRUE(installed.contains("addhigh=25\n"));
    EXPECT_TRUE(installed.contains("interval=60\n"));
    EXPECT_TRUE(installed.contains("media=\n"));
    {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[seting]\nstart=1\n");
    }
    ASSERT_EQ(RunCMakeScript(defs, STATION_INSTALL_IF_MISSING_SCRIPT), 0);
    EXPECT_EQ(Contents(out), "[seting]\nstart=1\n");
}
