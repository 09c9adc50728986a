#pragma once

// TCaret: the text cursor of one editor control, as the system caret behaves.
// The window system is reached through TCaretDevice, which the editor control
// implements; without a device the caret only keeps its state.

namespace qn {

class TCaretDevice {
public:
    virtual ~TCaretDevice() = default;
    virtual void CreateCaret(int width, int height) = 0;
    virtual void DestroyCaret() = 0;
    virtual void SetCaretPos(int x, int y) = 0;
    virtual void ShowCaret() = 0;
};

class TCaret {
public:
    int X = 0;
    int Y = 0;
    int Width = 3;
    int Height = 16;
    bool Visible = false;
    bool Created = false;
    bool Enabled = false;           // the control has the focus
    bool Suppressed = false;        // kept off until released
    TCaretDevice *Window = nullptr; // the control's window; not owned
    void *Owner = nullptr;          // the owning control; not owned

    // Position and size together. A new size while the caret is shown
    // re-creates it; the re-created caret is at least 1 wide and more than 3 high.
    void SetPosSize(int x, int y, int width, int height);
    void SetWidth(int width);
    // Creates the caret when needed, places it and shows it (only with focus
    // and not suppressed).
    void Show();
    // Destroys the caret.
    void Hide();
    // The control got the focus: the caret belongs to this window now.
    void Enable(TCaretDevice *window);
    // The control lost the focus.
    void Disable();
    // Destroys the caret and keeps it off until Suppress(false).
    void Suppress(bool on = true);

private:
    void create();
};

} // namespace qn
