// Simple mode: the "Basic PTT Setup" form in place of the configuration
// window's frame, its OK, Advanced Setup, Escape and close box.
#include "app/mdichild.h"
#include "config/simpleform.h"
#include "configwin/simpledialog.h"
#include "tests/configwin/windowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace nimbrel::test {
namespace {

const char* const kNotPtt = "This configuration is not for a PTT.\r\nSwitching to advanced mode.";

// The GPS sensor first: not a transmitter configuration.
const std::string kGpsFile =
    "2 1\r\n"
    "4,0,1200,GPS Sensor,Time allowed for fix (seconds),1,0,0,99999,0,4,0,0\r\n"
    "4,0,3600,,GPS sample rate (seconds),1,1,0,99999,0,4,0,0\r\n";

// The transmitter sensor without its off time.
const std::string kNoOffTimeFile =
    "3 1\r\n"
    "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,0\r\n"
    "4,0,90,,Fast transmission rep rate (seconds),1,1,1,{90,200},0,4,1,0\r\n"
    "4,0,7200,,Transmission on time (seconds),1,2,0,86400,1,4,0,0\r\n";

void Settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void Retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

class SimpleModeTest : public WindowTest {
protected:
    // A configuration opened as the MDI client opens it, in its frame.
    TNimbrelWindow* Open(const std::string& text) {
        client.OpenFile(dir.Write("simple.cfg", text));
        return client.ConfigWindow();
    }
    SimpleDialog* Simple(TNimbrelWindow* window) {
        window->CmSimple();
        return window->SimpleForm();
    }
    std::string Value(TNimbrelWindow* window, int index) const {
        return window->Items[static_cast<std::size_t>(index)]->GetValueText();
    }
};

TEST_F(SimpleModeTest, FormStandsInForTheFrameOneAtATime) {
    TNimbrelWindow* window = Open(kTransmitterFile);
    SimpleDialog* form = Simple(window);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Basic PTT Setup");
    EXPECT_EQ(form->parent(), window);
    EXPECT_FALSE(form->isModal());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(client.ConfigFrame()->isHidden());
    const char* shown[] = {"11111", "90", "7200", "14400"};
    for (int f = 0; f < kSimpleFieldCount; ++f)
        EXPECT_EQ(form->Edit(f)->text(), shown[f]);

    // Again: the same form, filled afresh.
    window->Items[2]->SetValue("3600");
    EXPECT_EQ(Simple(window), form);
    EXPECT_EQ(form->Edit(kFieldOnTime)->text(), "3600");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SimpleModeTest, OkStoresTheFieldsAndMarksModifiedEachTime) {
    TNimbrelWindow* window = Open(kTransmitterFile);
    SimpleDialog* form = Simple(window);
    Retype(form->Edit(kFieldPttId), "12345");
    Retype(form->Edit(kFieldRepRate), "200");
    Retype(form->Edit(kFieldOnTime), "60");
    Retype(form->Edit(kFieldOffTime), "120");
    EXPECT_FALSE(window->DataModified);

    QTest::mouseClick(form->OkButton(), Qt::LeftButton);
    const char* stored[] = {"12345", "200", "60", "120"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Value(window, i), stored[i]);
    EXPECT_TRUE(window->DataModified);

    // Enter in a field is OK too, and marks again; the form stays.
    window->DataModified = false;
    QTest::keyClick(form->Edit(kFieldOffTime), Qt::Key_Return);
    EXPECT_TRUE(window->DataModified);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SimpleModeTest, OkReportsEachFailingValueAndFocusesTheFirst) {
    TNimbrelWindow* window = Open(kTransmitterFile);
    SimpleDialog* form = Simple(window);
    Retype(form->Edit(kFieldRepRate), "91");
    Retype(form->Edit(kFieldOnTime), "86401");
    form->Edit(kFieldOffTime)->setFocus();

    QTest::mouseClick(form->OkButton(), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Input must be one of the list values\n\r{90,200}");
    EXPECT_EQ(ui.messages[1].text, "Max = 86400.000000\n\rMin = 1.000000\n\rValue = 86401");
    EXPECT_EQ(ui.messages[1].caption, "Input error");
    EXPECT_EQ(Value(window, 1), "91");
    EXPECT_EQ(Value(window, 2), "86401");
    EXPECT_TRUE(window->DataModified);
    EXPECT_EQ(form->focusWidget(), form->Edit(kFieldRepRate));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(SimpleModeTest, MissingItemLeavesItsBoxEmptyAndUntouched) {
    TNimbrelWindow* window = Open(kNoOffTimeFile);
    SimpleDialog* form = Simple(window);
    EXPECT_EQ(form->FieldIndexes(), (SimpleFieldIndexes{0, 1, 2, -1}));
    EXPECT_EQ(form->Edit(kFieldOffTime)->text(), "");
    QTest::keyClicks(form->Edit(kFieldOffTime), "junk");
    QTest::mouseClick(form->OkButton(), Qt::LeftButton);
    EXPECT_TRUE(ui.messages.empty());
    const char* values[] = {"11111", "90", "7200"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Value(window, i), values[i]);
}

TEST_F(SimpleModeTest, AdvancedSetupAndEscapeBringTheFrameBack) {
    const std::pair<const char*, std::function<void(SimpleDialog*)>> ways[] = {
        {"Advanced Setup",
         [](SimpleDialog* form) { QTest::mouseClick(form->AdvancedButton(), Qt::LeftButton); }},
        {"Escape", [](SimpleDialog* form) { QTest::keyClick(form->Edit(0), Qt::Key_Escape); }},
    };
    TNimbrelWindow* window = Open(kTransmitterFile);
    for (const auto& [what, leave] : ways) {
        QPointer<SimpleDialog> form = Simple(window);
        ASSERT_TRUE(client.ConfigFrame()->isHidden()) << what;
        leave(form);
        EXPECT_EQ(window->SimpleForm(), nullptr) << what; // closing: never used again
        Settle();
        EXPECT_TRUE(form.isNull()) << what;
        EXPECT_FALSE(client.ConfigFrame()->isHidden()) << what;
        EXPECT_EQ(client.activeSubWindow(), client.ConfigFrame()) << what;
        EXPECT_EQ(client.ConfigWindow(), window) << what;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SimpleModeTest, CloseBoxClosesTheWindowUnlessItRefuses) {
    TNimbrelWindow* window = Open(kTransmitterFile);
    QPointer<SimpleDialog> form = Simple(window);
    // An invalid value, stored by OK, makes the window ask; Cancel keeps it.
    Retype(form->Edit(kFieldOnTime), "0");
    QTest::mouseClick(form->OkButton(), Qt::LeftButton);
    ui.Clear();
    ui.answers = {Answer::Ok, Answer::No, Answer::Cancel};
    form->close();
    Settle();
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>{
                  "Max = 86400.000000\n\rMin = 1.000000\n\rValue = 0",
                  "Do you wish to save the contents of this window",
                  "Data not correct for all entries.\n\rAre you sure you want to exit"}));
    ASSERT_FALSE(form.isNull());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(client.ConfigFrame()->isHidden());
    EXPECT_EQ(client.ConfigWindow(), window);

    // A valid, saved configuration closes without a question; the form goes too.
    Retype(form->Edit(kFieldOnTime), "60");
    QTest::mouseClick(form->OkButton(), Qt::LeftButton);
    window->DataModified = false;
    ui.Clear();
    form->close();
    Settle();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(client.ConfigCount(), 0);
    EXPECT_TRUE(client.subWindowList().isEmpty());
}

TEST_F(SimpleModeTest, NotAPttConfigurationShowsTheNoticeAndTheFrame) {
    TNimbrelWindow* gps = Open(kGpsFile);
    gps->SimpleMode = true;
    EXPECT_EQ(Simple(gps), nullptr);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kNotPtt);
    EXPECT_EQ(ui.messages[0].caption, "Notice");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::Ok);
    EXPECT_FALSE(gps->SimpleMode);
    EXPECT_FALSE(client.ConfigFrame()->isHidden());
    client.ConfigFrame()->close();
    Settle();

    // A form whose first item stopped being a PTT ID goes with the notice.
    ui.Clear();
    TNimbrelWindow* window = Open(kTransmitterFile);
    QPointer<SimpleDialog> form = Simple(window);
    window->Items[0]->SetType(kTypeLong);
    EXPECT_EQ(Simple(window), nullptr);
    Settle();
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{kNotPtt});
    EXPECT_TRUE(form.isNull());
    EXPECT_FALSE(client.ConfigFrame()->isHidden());
}

TEST_F(SimpleModeTest, NothingIsCutOffAtALargeFont) {
    TNimbrelWindow* window = Open(kTransmitterFile);
    SimpleDialog* form = Simple(window);
    for (int points : {9, 20}) {
        QFont font = form->font();
        font.setPointSize(points);
        form->setFont(font);
        form->adjustSize();
        Settle();
        for (QWidget* w : form->findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(w) == nullptr && qobject_cast<QPushButton*>(w) == nullptr &&
                qobject_cast<QLineEdit*>(w) == nullptr)
                continue;
            EXPECT_GE(w->width(), w->sizeHint().width())
                << points << " " << w->objectName().toStdString();
            EXPECT_GE(w->height(), w->minimumSizeHint().height()) << points;
            EXPECT_TRUE(form->rect().contains(w->geometry())) << points;
        }
    }
}

} // namespace
} // namespace nimbrel::test
