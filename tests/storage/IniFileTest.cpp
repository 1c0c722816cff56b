#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>

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
    // A write through another spelling changes the value of the existing line instead of
    // adding one, and the key keeps the spelling the file gives it.
    ini::Write(path, "SETING", "interval", "5");
    EXPECT_EQ(ReadAll(path), QByteArray("[Seting]\nInterval=5\ntitle=告 警 信 息 表\n"));
    ini::Write(path, "seting", "TITLE", "B");
    EXPECT_EQ(ReadAll(path), QByteArray("[Seting]\nInterval=5\ntitle=B\n"));
}

// Editors that save "UTF-8 with BOM" put three bytes before the first section line.
TEST(IniFile, AByteOrderMarkIsNotPartOfTheFirstSectionAndIsKept) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    const QByteArray bom("\xEF\xBB\xBF");
    WriteAll(path, bom + "[seting]\r\nicon=1\r\ntitle=告警\r\n");
    EXPECT_EQ(ini::Read(path, "seting", "icon"), "1");
    EXPECT_EQ(ini::Read(path, "seting", "title"), QString::fromUtf8("告警"));
    ini::Write(path, "seting", "icon", "0");
    ini::Write(path, "seting", "start", "1");
    EXPECT_EQ(ReadAll(path), bom + "[seting]\r\nicon=0\r\ntitle=告警\r\nstart=1\r\n");
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

// The operator's settings file stays the operator's: a write by another user (the station run
// as root once) changes its text, not its owner, group, mode or identity, so hard links to it
// see the new text too.
TEST(IniFile, WriteKeepsTheFilesOwnerModeAndLinks) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    const QString link = dir.filePath("linked.ini");
    WriteAll(path, "[seting]\nstart=0\nicon=1\n");
    const QByteArray p = path.toLocal8Bit();
    ASSERT_EQ(::link(p.constData(), link.toLocal8Bit().constData()), 0);
    ASSERT_EQ(chmod(p.constData(), 0640), 0);
    const bool root = geteuid() == 0;
    const uid_t nobody = 65534;
    if (root) {
        ASSERT_EQ(chown(p.constData(), nobody, nobody), 0);
    }
    struct stat before {};
    ASSERT_EQ(stat(p.constData(), &before), 0);

    ini::Write(path, "seting", "start", "1");                       // shorter text
    ini::Write(path, "seting", "media", QString(300, QChar('m')));  // longer text

    struct stat after {};
    ASSERT_EQ(stat(p.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    if (root) {
        EXPECT_EQ(after.st_uid, nobody);
    }
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    const QByteArray expected = "[seting]\nstart=1\nicon=1\nmedia=" + QByteArray(300, 'm') + "\n";
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_EQ(ReadAll(link), expected);
    // Nothing is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({"linked.ini", "peizhi.ini"}));
}

// A write that cannot be completed (here the process may not make files longer than 64 bytes)
// leaves the old text whole, not a mixture of old and new.
TEST(IniFile, AWriteThatRunsOutOfRoomLeavesTheOldTextWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("peizhi.ini");
    const QByteArray old = "[seting]\nmedia=/short.wav\ninterval=60\n";
    WriteAll(path, old);

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        ini::Write(path, "seting", "media", "/a/much/longer/path/to/the/alarm/sound/file.wav");
    } catch (const SettingsWriteError&) {
        threw = true;
    }
    // A new file that cannot be written whole is not left behind.
    bool newThrew = false;
    try {
        ini::Write(dir.filePath("new.ini"), "seting", "media", QString(100, QChar('n')));
    } catch (const SettingsWriteError&) {
        newThrew = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_TRUE(newThrew);
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"peizhi.ini"}));
}
