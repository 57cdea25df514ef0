// The Ui of the windowed program: Qt message boxes, input and file dialogs,
// event serving for waits, and the main frame's status bar.
#pragma once

#include "platform/ui.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

namespace nimbrel {

class QtUi : public Ui {
public:
    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial, int maxChars) override;
    std::optional<std::string> ChooseFile(const FileRequest& request) override;
    // Serves pending events; when none is pending, sleeps until one arrives
    // or maxWaitMs have passed.
    void ServeEvents(int maxWaitMs) override { ServeQtEvents(maxWaitMs); }
    // Serves Qt events once, waiting at most maxWaitMs for one to arrive.
    static void ServeQtEvents(int maxWaitMs);
    void StatusText(const std::string& text) override;

    // The window that parents dialogs and shows status texts.
    void SetMainWindow(QMainWindow* frame) { frame_ = frame; }

private:
    QPointer<QMainWindow> frame_;
};

// "\r\n" and "\n\r" (and a lone "\r") become one line break.
QString MessageText(const std::string& text);

// A "Text|pattern|Text|pattern|" filter in Qt's "Text (patterns);;..." form.
// Patterns are separated by ';' as in "*.c;*.h"; "*.*" matches every file.
QString QtFilter(const std::string& filter);

} // namespace nimbrel
