#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "IniFile.h"
#include "StationError.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

}  // namespace

TEST(IniFile, MissingFileReadsEmptyAndIsNotCreatedByReading) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    EXPECT_EQ(ini::Read(path, "seting", "start"), QString());
    EXPECT_FALSE(QFile::exists(path));
    ini::Write(path, "seting", "start", "1");
    EXPECT_EQ(ReadAll(path), QByteArray("[seting]\nstart=1\n"));
}

TEST(IniFile, NamesMatchWithoutRegardToCaseAndMissingPartsReadEmpty) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    WriteAll(path, "[Seting]\nInterval = 60\ntitle=告 警 信 息 表\n");
    EXPECT_EQ(ini::Read(path, "seting", "interval"), "60");
    EXPECT_EQ(ini::Read(path, "SETING", "TITLE"), QString::fromUtf8("告 警 信 息 表"));
    EXPECT_EQ(ini::Read(path, "seting", "media"), QString());
    EXPECT_EQ(ini::Read(path, "other", "interval"), QString());
    // A write through another spelling changes the existing line instead of adding one.
    ini::Write(path, "SETING", "interval", "5");
    EXPECT_EQ(ReadAll(path), QByteArray("[Seting]\ninterval=5\ntitle=告 警 信 息 表\n"));
}

TEST(IniFile, WriteKeepsOtherSectionsLinesAndLineEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    WriteAll(path, "; comment\r\n[a]\r\nx=1\r\n\r\n[seting]\r\nicon=0\r\n\r\n[b]\r\ny=2\r\n");
    ini::Write(path, "seting", "start", "1");
    EXPECT_EQ(ReadAll(path),
              QByteArray("; comment\r\n[a]\r\nx=1\r\n\r\n[seting]\r\nicon=0\r\nstart=1\r\n\r\n"
                         "[b]\r\ny=2\r\n"));
    ini::Write(path, "new", "k", "v");
    EXPECT_EQ(ini::Read(path, "new", "k"), "v");
    EXPECT_EQ(ini::Read(path, "b", "y"), "2");
    EXPECT_EQ(ini::Read(path, "a", "x"), "1");
}

TEST(IniFile, ValuesAreCutAt2047BytesOnACharacterBoundary) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    ini::Write(path, "seting", "ascii", QString(3000, 'x'));
    EXPECT_EQ(ini::Read(path, "seting", "ascii").size(), 2047);
    // 3-byte characters: 682 of them fill 2046 bytes; the 683rd would cross the limit.
    ini::Write(path, "seting", "han", QString(1000, QChar(0x544A)));
    const QString han = ini::Read(path, "seting", "han");
    EXPECT_EQ(han, QString(682, QChar(0x544A)));
}

TEST(IniFile, LineBreaksInAValueCannotSplitTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    ini::Write(path, "seting", "title", "A\r\n[evil]\nstart=0");
    ini::Write(path, "seting", "start", "1");
    EXPECT_EQ(ini::Read(path, "seting", "title"), "A  [evil] start=0");
    EXPECT_EQ(ini::Read(path, "seting", "start"), "1");
    EXPECT_EQ(ini::Read(path, "evil", "start"), QString());
}

TEST(IniFile, RefusedWriteNamesTheFullPathAndKeepsTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    WriteAll(path, "[seting]\nstart=0\n");
    // A folder in the file's place refuses every writer, root included.
    const QString blocked = dir.filePath("blocked.ini");
    ASSERT_TRUE(QDir().mkdir(blocked));
    try {
        ini::Write(blocked, "seting", "start", "1");
        ADD_FAILURE() << "write over a folder succeeded";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unable to write to %1").arg(blocked));
    }
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    if (geteuid() != 0) {
        chmod(path.toLocal8Bit().constData(), 0444);
        chmod(dir.path().toLocal8Bit().constData(), 0555);
        EXPECT_THROW(ini::Write(path, "seting", "start", "1"), SettingsWriteError);
        chmod(dir.path().toLocal8Bit().constData(), 0755);
    }
    EXPECT_EQ(ini::Read(path, "seting", "start"), "0");
}

TEST(IniFile, WriteIntoAMissingFolderFailsWithTheFullPath) {
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/folder/peizhi.ini");
    try {
        ini::Write(path, "seting", "start", "1");
        ADD_FAILURE() << "write into a missing folder succeeded";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unable to write to %1").arg(path));
    }
}
