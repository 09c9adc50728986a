#pragma once

// Recording stand-ins for the tool bar, ruler and status bar that a rich
// text control links to: each keeps the last state it was told.

#include <map>
#include <string>
#include <utility>

#include "richtext/controls/rich_text_links.h"

namespace qn::test {

class RecordingToolBar : public TQnToolBarLink {
public:
    std::map<std::pair<int, int>, bool> Down;
    std::map<std::pair<int, int>, bool> Enabled;
    std::string FontName;
    std::map<int, int> Values;
    int TableUpdates = 0;

    void SetIconDown(int group, int number, bool down) override { Down[{group, number}] = down; }
    void EnableIcon(int group, int number, bool enabled) override
    {
        Enabled[{group, number}] = enabled;
    }
    void SetListValue(int typ, const std::string &text, int number) override
    {
        if (typ == snFontName)
            FontName = text;
        Values[typ] = number;
    }
    void SetTables(const TTextHeader &) override { ++TableUpdates; }

    bool IsDown(int group, int number) const
    {
        auto it = Down.find({group, number});
        return it != Down.end() && it->second;
    }
    bool IsEnabled(int group, int number) const
    {
        auto it = Enabled.find({group, number});
        return it != Enabled.end() && it->second;
    }
};

class RecordingRuler : public TQnRulerControlLink {
public:
    TTextHeader *Header = nullptr;
    int EditorOffset = -1;
    int ScrollX = 1;
    int32_t First = -1, Left = -1, Right = -1;
    int Repaints = 0;

    void SetScrollOffset(int scrollX) override { ScrollX = scrollX; }
    void RepaintRuler() override { ++Repaints; }
    void SetHeader(TTextHeader *header) override { Header = header; }
    void SetEditorOffset(int offset) override { EditorOffset = offset; }
    void SetIndents(int32_t first, int32_t left, int32_t right) override
    {
        First = first;
        Left = left;
        Right = right;
    }
};

class RecordingStatusBar : public TQnStatusBarLink {
public:
    std::map<int, QString> Panels;
    bool SetPanelText(int kind, const QString &text) override
    {
        Panels[kind] = text;
        return true;
    }
};

} // namespace qn::test
