// The narrow interface through which the core talks to a user: message boxes,
// text input, file choice and status text.
// The Qt layer implements it with real dialogs; tests install a recorder that
// answers with scripted replies; a command-line front end would use stderr.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nimbrel {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Exclamation, Information, Question, Stop };
enum class Answer { Ok, Cancel, Yes, No };

// A file dialog request. `filter` uses the "Text|pattern|Text|pattern|" form.
struct FileRequest {
    bool save = false;
    std::string caption;
    std::string filter;
    std::string defaultExt;
    std::string initialName;
    bool mustExist = false; // open: the file must exist
    bool pathMustExist = false;
    bool overwritePrompt = false;
};

class Ui {
public:
    virtual ~Ui() = default;

    // Modal message box; texts are the program's own, line breaks as written.
    virtual Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                              Icon icon) = 0;

    // Single-line text input. nullopt when the user cancels.
    virtual std::optional<std::string> InputText(const std::string& caption,
                                                 const std::string& prompt,
                                                 const std::string& initial, int maxChars) = 0;

    // File-open or file-save dialog. nullopt when the user cancels.
    virtual std::optional<std::string> ChooseFile(const FileRequest& request) = 0;

    // Serve pending events once, waiting at most maxWaitMs for one to arrive.
    // WaitUntil loops on it in bounded slices. The program itself never waits
    // this way (transfers and the terminal's receiving run on threads of their
    // own, the splash on a timer); tests wait on it for what happens meanwhile.
    virtual void ServeEvents(int maxWaitMs) = 0;

    // Text for the main window's status bar (empty clears it).
    virtual void StatusText(const std::string& /*text*/) {}
};

// Passes every request on to another Ui; a derived Ui overrides what it
// handles itself (message boxes, say).
class DelegatingUi : public Ui {
public:
    explicit DelegatingUi(Ui& outer) : outer_(outer) {}

    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override {
        return outer_.MessageBox(text, caption, buttons, icon);
    }
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial, int maxChars) override {
        return outer_.InputText(caption, prompt, initial, maxChars);
    }
    std::optional<std::string> ChooseFile(const FileRequest& request) override {
        return outer_.ChooseFile(request);
    }
    void ServeEvents(int maxWaitMs) override { outer_.ServeEvents(maxWaitMs); }
    void StatusText(const std::string& text) override { outer_.StatusText(text); }

protected:
    Ui& Outer() { return outer_; }

private:
    Ui& outer_;
};

// Holds every message box (answering Ok, or Cancel to a question) until
// Release passes them on, or drops them: for a step whose messages matter
// only when it ends what it is part of.
class HoldingUi : public DelegatingUi {
public:
    explicit HoldingUi(Ui& outer) : DelegatingUi(outer) {}

    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override {
        held_.push_back({text, caption, buttons, icon});
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    void Release() {
        for (const Held& h : held_)
            Outer().MessageBox(h.text, h.caption, h.buttons, h.icon);
        held_.clear();
    }

private:
    struct Held {
        std::string text;
        std::string caption;
        Buttons buttons;
        Icon icon;
    };
    std::vector<Held> held_;
};

// The Ui in force for this process. Without one installed, a silent default
// answers Ok/Cancel and sleeps while serving events.
Ui& CurrentUi();

// Installs a Ui for the lifetime of this object, restoring the previous one.
class ScopedUi {
public:
    explicit ScopedUi(Ui& ui);
    ~ScopedUi();
    ScopedUi(const ScopedUi&) = delete;
    ScopedUi& operator=(const ScopedUi&) = delete;

private:
    Ui* previous_;
};

} // namespace nimbrel
