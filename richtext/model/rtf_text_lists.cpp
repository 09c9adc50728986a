// The side lists: objects, footnotes, paragraph styles; list number texts.

#include "richtext/model/rtf_text.h"

#include <algorithm>

#include "platform/ansi.h"
#include "platform/winmath.h"

namespace qn {

// ---------------------------------------------------------------------------
// Objects

TQnObject *TQnRTFText::AddObject(std::shared_ptr<TQnGraphic> graphic, int tag)
{
    int highestId = 0;
    int highestTag = 0;
    for (const auto &o : Objects) {
        highestId = std::max<int>(highestId, o->Id);
        highestTag = std::max<int>(highestTag, o->Tag);
    }
    auto record = std::make_unique<TQnObject>();
    record->Graphic = std::move(graphic);
    record->Id = static_cast<uint16_t>(highestId + 1);
    if (tag == -1)
        record->Tag = static_cast<uint16_t>(std::max(highestTag + 1, 2000));
    else if (tag != 0)
        record->Tag = static_cast<uint16_t>(tag);
    TQnObject *o = record.get();
    Objects.push_back(std::move(record));
    if (!o->Graphic && tag != -1 && OnNeedObject)
        OnNeedObject(tag, *o);
    return o;
}

TQnObject *TQnRTFText::FindObject(int tag, int id) const
{
    for (const auto &o : Objects)
        if ((tag != 0 && o->Tag == static_cast<uint16_t>(tag)) ||
            (id != 0 && o->Id == static_cast<uint16_t>(id)))
            return o.get();
    return nullptr;
}

TQnObject *TQnRTFText::FindObjectByFileName(std::string_view fileName) const
{
    if (fileName.empty())
        return nullptr;
    for (const auto &o : Objects)
        if (AnsiSameText(o->FileName, fileName))
            return o.get();
    return nullptr;
}

void TQnRTFText::ObjectSize(TQnObject &object) const
{
    // Before any layout the resolution is unknown; take the usual screen's.
    const int ppiX = Header->PixelsPerInchX > 0 ? Header->PixelsPerInchX : 96;
    const int ppiY = Header->PixelsPerInchY > 0 ? Header->PixelsPerInchY : 96;
    int32_t width = 32;
    int32_t height = 32;
    if (object.Graphic) {
        width = MulDiv(object.Graphic->WidthPixels, 1440, ppiX);
        height = MulDiv(object.Graphic->HeightPixels, 1440, ppiY);
    }
    if (object.Width == 0)
        object.Width = width;
    if (object.Height == 0)
        object.Height = height;
}

void TQnRTFText::CollectObjects()
{
    for (auto &o : Objects)
        o->InUse = 0;
    for (TParagraph *p = FirstParagraph; p; p = p->Next)
        for (TLine *l = p->Lines; l; l = l->Next) {
            if (!l->Attrs)
                continue;
            for (int i = 0; i < l->Length; ++i) {
                const TCharAttr &a = l->Attrs[i];
                if (!(a.Style & kStyleObject))
                    continue;
                // Code 2 refers to the object by id, every other code by tag.
                TQnObject *o = l->Text[i] == 2 ? FindObject(0, a.Tag) : FindObject(a.Tag, 0);
                if (o)
                    o->InUse = 1;
            }
        }
    std::erase_if(Objects, [](const std::unique_ptr<TQnObject> &o) { return !o->InUse; });
}

// ---------------------------------------------------------------------------
// Footnotes

TQnFootnote *TQnRTFText::AddFootnote(uint8_t markChar, int32_t number, std::string text)
{
    int highest = 0;
    for (const auto &f : Footnotes)
        highest = std::max<int>(highest, f->Id);
    auto record = std::make_unique<TQnFootnote>();
    record->MarkChar = markChar;
    record->Number = number;
    record->Id = static_cast<uint16_t>(highest + 1);
    record->Text = std::move(text);
    Footnotes.push_back(std::move(record));
    return Footnotes.back().get();
}

TQnFootnote *TQnRTFText::FindFootnote(int id) const
{
    if (id == 0)
        return nullptr;
    for (const auto &f : Footnotes)
        if (f->Id == id)
            return f.get();
    return nullptr;
}

// ---------------------------------------------------------------------------
// Paragraph styles

namespace {
std::string styleName(std::string_view name)
{
    return AnsiUpperCase(name.substr(0, 8));
}
} // namespace

uint8_t TQnRTFText::AddStyle(const TParProps &props, std::string_view name)
{
    const std::string key = styleName(name);
    int highest = 0;
    for (const auto &s : Styles) {
        if (s->Name == key)
            return s->Id;
        highest = std::max<int>(highest, s->Id);
    }
    if (highest >= 255)
        return 0; // ids are one byte; no room for another style
    auto record = std::make_unique<TQnParStyle>();
    record->Props = props;
    record->Name = key;
    record->Id = static_cast<uint8_t>(highest + 1);
    Styles.push_back(std::move(record));
    return Styles.back()->Id;
}

TQnParStyle *TQnRTFText::FindStyle(std::string &name, uint8_t &id) const
{
    const std::string key = styleName(name);
    for (const auto &s : Styles)
        if (id != 0 ? s->Id == id : s->Name == key) {
            name = s->Name;
            id = s->Id;
            return s.get();
        }
    id = 0;
    return nullptr;
}

// ---------------------------------------------------------------------------
// List numbers

std::string TQnRTFText::NumberText(int kind, int value)
{
    std::string text;
    switch (kind) {
    case 1:
        return "l"; // a bullet in the symbol font
    case 2:
    case 3: {
        if (value <= 0)
            return text;
        // 1..26 one letter, 27..702 two letters, then it starts again.
        const int r = (value - 1) % 702 + 1;
        const char base = kind == 2 ? 'A' : 'a';
        if (r >= 27) {
            text.push_back(static_cast<char>(base + (r - 1) / 26 - 1));
            text.push_back(static_cast<char>(base + (r - 1) % 26));
        } else {
            text.push_back(static_cast<char>(base + r - 1));
        }
        text.push_back(')');
        return text;
    }
    case 4:
    case 5: {
        static const char *const units[10] = {"",  "i",  "ii",  "iii",  "iv",
                                              "v", "vi", "vii", "viii", "ix"};
        int r = (value < 0 ? -value : value) % 100;
        for (; r >= 50; r -= 50)
            text += 'l';
        for (; r >= 10; r -= 10)
            text += 'x';
        text += units[r];
        if (kind == 4)
            text = AnsiUpperCase(text);
        text.push_back('.');
        return text;
    }
    case 6:
        text = std::to_string((value < 0 ? -value : value) % 100000);
        text.push_back('.');
        return text;
    default:
        return text;
    }
}

} // namespace qn
