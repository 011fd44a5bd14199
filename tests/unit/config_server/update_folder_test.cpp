// The update repository serves "Updater.ini" files and what they name, never a path that leaves
// its folder, a hidden file, or a file placed there that no Updater.ini names.
#include "update_folder.h"

#include <gtest/gtest.h>

#include "unit/config/temp_dir.h"

using namespace kestrava::config_server;
using kestrava::testing::TempDir;
using kestrava::testing::WriteFile;
namespace fs = std::filesystem;

TEST(UpdateFolder, ServesUpdaterIniAndTheFilesItNamesOnly) {
    TempDir outside;
    WriteFile(outside / "secret", "not for the network");
    TempDir repo;
    fs::create_directories(repo.Path() / "kestrava" / "bin");
    WriteFile(repo / "kestrava/Updater.ini",
              "[MAINVER]\nmainver=8.5\n[FILES]\nfile0=kestrava-8.5.deb\nfile1=bin/tool\nfile3=gap.txt\n");
    WriteFile(repo / "kestrava/kestrava-8.5.deb", "deb");
    WriteFile(repo / "kestrava/bin/tool", "tool");
    WriteFile(repo / "kestrava/gap.txt", "after a missing key");
    WriteFile(repo / "kestrava/notes.txt", "placed there, named by nobody");
    WriteFile(repo / "kestrava/.hidden", "hidden");
    fs::create_symlink(outside / "secret", repo.Path() / "kestrava" / "link");
    WriteFile(repo / "kestrava/Updater2.ini", "[FILES]\nfile0=link\n");
    fs::create_directories(repo.Path() / "other");
    WriteFile(repo / "other/Updater.ini", "[FILES]\nfile0=../kestrava/notes.txt\nfile1=link\n");
    fs::create_symlink(outside / "secret", repo.Path() / "other" / "link");

    struct Case {
        const char* path;
        int status;
    };
    const Case cases[] = {
        {"/kestrava/Updater.ini", 200},
        {"/kestrava/kestrava-8.5.deb", 200},
        {"/kestrava/bin/tool", 200},     // named by the Updater.ini one folder up
        {"/kestrava/gap.txt", 200},      // a missing key does not end the list
        {"/kestrava/notes.txt", 404},    // in the folder, but not named
        {"/kestrava/missing.deb", 404},
        {"/kestrava/Updater2.ini", 404},
        {"/kestrava", 404},              // a folder
        {"/other/link", 404},            // named, but a link out of the folder
        {"/kestrava/.hidden", 400},
        {"/kestrava/../other/Updater.ini", 400},
        {"/kestrava/./Updater.ini", 400},
        {"/kestrava//Updater.ini", 400},
        {"/kestrava/", 400},
        {"/kestrava\\Updater.ini", 400},
        {"/kestrava/Updater.ini\n", 400},
        {"kestrava/Updater.ini", 400},
        {"/", 400},
        {"", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const UpdateLookup found = FindUpdateFile(repo.Path(), c.path);
        EXPECT_EQ(found.status, c.status);
        if (c.status == 200) {
            EXPECT_EQ(found.file, repo.Path() / std::string(c.path).substr(1));
        }
    }
}
