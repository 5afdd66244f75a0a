// Save Message and Save Attachment open in the user's Downloads folder, or
// home where there is none: never in the folder the program was started in.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "present/MessageCenter.h"

namespace velto {
namespace {

TEST(SaveFolder, DownloadsWhereItExistsElseHome) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    QDir(home.path()).mkpath("config");
    const struct {
        const char* what;
        const char* userDirs;  // config/user-dirs.dirs; null: none
        const char* make;      // a folder made first; null: none
        QString want;
    } rows[] = {
        {"no Downloads folder", nullptr, nullptr, home.path()},
        {"the usual Downloads", nullptr, "Downloads", home.path() + "/Downloads"},
        {"a named folder that is missing", "XDG_DOWNLOAD_DIR=\"$HOME/Gone\"\n", nullptr, home.path()},
    };
    for (const auto& row : rows) {
        if (row.userDirs) {
            QFile dirs(home.path() + "/config/user-dirs.dirs");
            ASSERT_TRUE(dirs.open(QIODevice::WriteOnly | QIODevice::Truncate));
            dirs.write(row.userDirs);
        }
        if (row.make) QDir(home.path()).mkpath(row.make);
        EXPECT_EQ(SaveFolder(), row.want) << row.what;
    }
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

}  // namespace
}  // namespace velto
