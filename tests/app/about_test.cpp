// The about box and the version block reader.
#include "app/aboutdlg.h"

#include <QLabel>
#include <gtest/gtest.h>

#include <string>

namespace {

std::string Label(const QWidget& dlg, const char* name) {
    auto* label = dlg.findChild<QLabel*>(name);
    EXPECT_NE(label, nullptr) << name;
    return label != nullptr ? label->text().toStdString() : std::string();
}

bool HasLabel(const QWidget& dlg, const QString& text) {
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->text() == text) return true;
    }
    return false;
}

TEST(AboutTest, ShowsTheProgramsVersionBlock) {
    TNimbrelAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "About Nimbrel");
    EXPECT_TRUE(HasLabel(dlg, "PTT Comunications Interface"));
    EXPECT_EQ(Label(dlg, "id22001"), "Nimbrel Version 3.0 build 1");
    EXPECT_NE(Label(dlg, "id22002"), "");
    EXPECT_EQ(Label(dlg, "id22003"), "");
}

TEST(AboutTest, LooksValuesUpUnderTheBlocksFirstTranslation) {
    const TProjectRCVersion version;
    EXPECT_EQ(version.Translation(), 0x040904E4u);
    const char* value = nullptr;
    ASSERT_TRUE(version.GetProductVersion(value));
    EXPECT_STREQ(value, "3.0 build 1");
    EXPECT_FALSE(version.GetDebug(value));

    // Values of a second language are not seen; the path uses the first.
    nimbrel::VersionBlock block;
    block.AddTranslation(0x0407, 0x04E4);
    block.AddTranslation(0x0409, 0x04E4);
    block.AddString("040904e4", "ProductName", "English");
    block.AddString("040704e4", "ProductName", "Deutsch");
    block.AddString("040704e4", "SpecialBuild", "Test build");
    const TProjectRCVersion german(&block);
    ASSERT_TRUE(german.GetProductName(value));
    EXPECT_STREQ(value, "Deutsch");
    ASSERT_TRUE(german.GetDebug(value));
    EXPECT_STREQ(value, "Test build");
}

TEST(AboutTest, MissingBlockOrValuesLeaveTheInitialTexts) {
    TNimbrelAboutDlg none(nullptr, nullptr);
    EXPECT_TRUE(HasLabel(none, "PTT Comunications Interface"));
    EXPECT_EQ(Label(none, "id22001"), "Version");
    EXPECT_EQ(Label(none, "id22002"), "");
    EXPECT_EQ(Label(none, "id22003"), "");

    nimbrel::VersionBlock nameOnly;
    nameOnly.AddTranslation(0x0409, 0x04E4);
    nameOnly.AddString("040904E4", "ProductName", "Nimbrel");
    TNimbrelAboutDlg partial(nullptr, &nameOnly);
    EXPECT_EQ(Label(partial, "id22001"), "Version");

    // Strings without a translation are not reachable: no block.
    nimbrel::VersionBlock noTranslation;
    noTranslation.AddString("040904E4", "ProductName", "Nimbrel");
    noTranslation.AddString("040904E4", "ProductVersion", "9");
    noTranslation.AddString("040904E4", "LegalCopyright", "Notice");
    TNimbrelAboutDlg untranslated(nullptr, &noTranslation);
    EXPECT_EQ(Label(untranslated, "id22001"), "Version");
    EXPECT_EQ(Label(untranslated, "id22002"), "");

    nimbrel::VersionBlock special;
    special.AddTranslation(0x0409, 0x04E4);
    special.AddString("040904E4", "SpecialBuild", "Field trial");
    TNimbrelAboutDlg trial(nullptr, &special);
    EXPECT_EQ(Label(trial, "id22003"), "Field trial");
}

} // namespace
