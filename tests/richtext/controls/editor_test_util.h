#pragma once

// A shown editor control in a window with one more focusable widget, on the
// offscreen platform, with helpers that find the pixels of characters.

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "richtext/controls/rtf_edit.h"
#include "richtext/io/stream.h"
#include "tests/support/text32.h"

namespace qn::test {

class EditorTest : public testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(420, 340);
        edit = new TQnCustomRtfEdit(window.get());
        edit->setGeometry(0, 0, 400, 300);
        edit->SetWordWrap(true);
        next = new QLineEdit(window.get());
        next->setGeometry(0, 310, 100, 24);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
        QApplication::processEvents();
        QApplication::clipboard()->clear();
    }

    void TearDown() override { window.reset(); }

    TQnRTFTextInput &doc() { return *edit->Document; }
    std::string text(int paragraph) { return Ansi(doc().ParagraphText(paragraph)); }

    // Replaces the document with RTF and shows it.
    void load(const std::string &rtf)
    {
        TQnMemoryStream stream(rtf);
        doc().Clear();
        doc().LoadFromStream(stream);
        doc().ReformatAll();
        doc().ShowCaret();
        edit->Repaint();
        QApplication::processEvents();
    }

    // Widget point at the middle of character `offset` of a paragraph's line.
    QPoint charPoint(int paragraph, int offset)
    {
        TParagraph *p = doc().ParagraphAt(paragraph);
        TLine *l = p->Lines;
        while (l->Next && offset >= l->Length) {
            offset -= l->Length;
            l = l->Next;
        }
        const int x0 = doc().XOfChar(p, l, offset), x1 = doc().XOfChar(p, l, offset + 1);
        const int y = l->Top - doc().ScrollY + l->Height / 2;
        return edit->ClientRect().topLeft() + QPoint((x0 + x1) / 2, y);
    }

    // The block as text, through a copy to the clipboard.
    QString copiedBlock()
    {
        QApplication::clipboard()->clear();
        edit->CopyToClipboard();
        const QMimeData *data = QApplication::clipboard()->mimeData();
        return data ? data->text() : QString();
    }

    std::unique_ptr<QWidget> window;
    TQnCustomRtfEdit *edit = nullptr;
    QLineEdit *next = nullptr;
};

} // namespace qn::test
