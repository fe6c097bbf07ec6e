#include "TempFolder.h"
#include "foundation/kvFMDialogs.h"

#include <gtest/gtest.h>

using namespace kvFM;

TEST(DialogFilters, OneTypeHasNoAllFilesEntry) {
    const auto one = BuildDialogFilter({KCFileType("Wav audio files", ".wav", 0, 0)});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].description, "Wav audio files (*.wav)");
    EXPECT_EQ(one[0].pattern, "*.wav");

    const auto two = BuildDialogFilter(
        {KCFileType("Wav audio files", ".wav", 0, 0), KCFileType("Hex images", ".hex", 0, 0)});
    ASSERT_EQ(two.size(), 3u);
    EXPECT_EQ(two[0].description, "All files (*.wav, *.hex)");
    EXPECT_EQ(two[0].pattern, "*.wav;*.hex");
    EXPECT_EQ(two[2].description, "Hex images (*.hex)");
    EXPECT_EQ(DialogFilterToWildcard(two),
              "All files (*.wav, *.hex)|*.wav;*.hex|"
              "Wav audio files (*.wav)|*.wav|Hex images (*.hex)|*.hex");
    EXPECT_TRUE(BuildDialogFilter({}).empty());
    // A '|' in a text would split the wildcard.
    EXPECT_EQ(DialogFilterToWildcard(BuildDialogFilter({KCFileType("A|B", ".x", 0, 0)})),
              "A/B (*.x)|*.x");
}

TEST(Dialogs, GoThroughTheInstalledService) {
    KCDialogCreationOptions options;
    options.title = "Export";
    options.flags = eDialogSelectFile;
    options.fileTypes = {KCFileType("Hex images", ".hex", 0, 0)};
    KCDialogReply reply;

    // No service (no display, nothing scripted): the dialog fails.
    KCDialogService* previous = SetDialogService(nullptr);
    EXPECT_EQ(SaveAsDialog(options, reply), eGenericErr);
    EXPECT_FALSE(reply.chosen);

    KCScriptedDialogService scripted;
    SetDialogService(&scripted);
    scripted.Push("/tmp/out.hex");
    scripted.PushCancel();
    scripted.PushFailure(eFMFileNotFound);
    scripted.Push("/tmp/folder");

    EXPECT_EQ(SaveAsDialog(options, reply), eNoErr);
    EXPECT_TRUE(reply.chosen);
    EXPECT_EQ(reply.path.GetPathString(), "/tmp/out.hex");

    EXPECT_EQ(SelectFileSystemObjectDialog(options, reply), eNoErr);
    EXPECT_FALSE(reply.chosen);
    EXPECT_EQ(SelectFileSystemObjectDialog(options, reply), eFMFileNotFound);
    EXPECT_FALSE(reply.chosen);

    options.flags = 0; // a plain open dialog never chooses
    EXPECT_EQ(SelectFileSystemObjectDialog(options, reply), eNoErr);
    EXPECT_FALSE(reply.chosen);
    EXPECT_EQ(SelectFileSystemObjectDialog(options, reply), eGenericErr); // script used up

    ASSERT_EQ(scripted.shown.size(), 5u);
    EXPECT_TRUE(scripted.shown[0].save);
    EXPECT_EQ(scripted.shown[0].options.title, "Export");
    EXPECT_EQ(scripted.shown[0].filter[0].pattern, "*.hex");
    SetDialogService(previous);
}
