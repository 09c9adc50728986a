#include "richtext/model/caret.h"

namespace qn {

void TCaret::create()
{
    if (Window)
        Window->CreateCaret(Width, Height);
    Created = true;
}

void TCaret::SetPosSize(int x, int y, int width, int height)
{
    const bool resized = width != Width || height != Height;
    X = x;
    Y = y;
    if (resized && Visible) {
        if (width < 1)
            width = 1;
        if (height <= 3)
            height = 4;
        Width = width;
        Height = height;
        if (Window)
            Window->DestroyCaret();
        create();
        if (Window) {
            Window->SetCaretPos(X, Y);
            Window->ShowCaret();
        }
        return;
    }
    Width = width;
    Height = height;
    if (Visible && Window)
        Window->SetCaretPos(X, Y);
}

void TCaret::SetWidth(int width)
{
    SetPosSize(X, Y, width, Height);
}

void TCaret::Show()
{
    if (!Enabled || Suppressed)
        return;
    if (!Created)
        create();
    if (Window) {
        Window->SetCaretPos(X, Y);
        Window->ShowCaret();
    }
    Visible = true;
}

void TCaret::Hide()
{
    if (Created && Window)
        Window->DestroyCaret();
    Created = false;
    Visible = false;
}

void TCaret::Enable(TCaretDevice *window)
{
    Window = window;
    Enabled = true;
}

void TCaret::Disable()
{
    Hide();
    Enabled = false;
}

void TCaret::Suppress(bool on)
{
    if (on)
        Hide();
    Suppressed = on;
}

} // namespace qn
