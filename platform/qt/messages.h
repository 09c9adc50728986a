#pragma once

// Messages to the user: the information box, the beep, and letting queued
// events through.

#include <QString>

#include <functional>
#include <string_view>
#include <vector>

namespace qn {

// A modal box with the text, the caption "Information", an information icon
// and an OK button, over the active window.
void ShowInformation(const QString &text);
void ShowInformation(std::string_view ansiText); // Windows-1252 text

// The standard beep.
void MessageBeep();

// Lets the event loop deliver what is queued, then returns.
void ProcessPendingMessages();

// Replacements for the box and the beep (tests, unattended runs). Each setter
// returns the hook it replaces; an empty hook restores the real behaviour.
using TInformationHook = std::function<void(const QString &)>;
using TBeepHook = std::function<void()>;
TInformationHook SetInformationHook(TInformationHook hook);
TBeepHook SetBeepHook(TBeepHook hook);

// While it lives, information boxes and beeps are recorded here instead of
// being shown or sounded.
class TMessageCapture {
public:
    TMessageCapture();
    ~TMessageCapture();
    TMessageCapture(const TMessageCapture &) = delete;
    TMessageCapture &operator=(const TMessageCapture &) = delete;

    std::vector<QString> Informations;
    int Beeps = 0;

private:
    TInformationHook previousInformation_;
    TBeepHook previousBeep_;
};

} // namespace qn
