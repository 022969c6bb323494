// The help program is started only when it is a regular file: a FIFO, a device or a folder
// in its place starts nothing and holds nothing up.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>

#include "commands/commands.h"

namespace fs = std::filesystem;

namespace {

TEST(HostileHelp, WhatIsNoRegularFileIsNotStarted) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const fs::path folder = temp.path().toStdString();
    ASSERT_EQ(::mkfifo((folder / "help.exe").c_str(), 0700), 0);
    fs::create_symlink("/dev/zero", folder / "zero.exe");
    fs::create_directory(folder / "folder.exe");
    for (const char* name : {"help.exe", "zero.exe", "folder.exe", "missing.exe"})
        EXPECT_FALSE(commands::shellExecute((folder / name).string())) << name;
}

}  // namespace
