// The RTF reader: reading, control word dispatch, destinations and groups,
// characters and paragraphs, pictures. The tokenizer is in rtf_tokenizer.cpp,
// the property words in rtf_reader_properties.cpp.

#include "richtext/io/rtf_reader.h"

#include <algorithm>

#include "platform/ansi.h"
#include "platform/winmath.h"
#include "richtext/io/bitmap.h"
#include "richtext/io/progress.h"
#include "richtext/io/rtf_control_words.h"

namespace qn {

using namespace rtf;

TQnRtfReader::TQnRtfReader()
{
    stack_.reserve(32);
}
TQnRtfReader::~TQnRtfReader() = default;

// ---------------------------------------------------------------------------
// Reading

int TQnRtfReader::Read(TQnStream &stream, TParagraph *&first)
{
    if (!Header || !Document)
        throw EQnRTFText("Wrong Arguments in\tTQnRTFReader");
    SetStream(stream);
    attr_ = TCharAttr{};
    attr_.Size = 10;
    codePages_ = rtf::RtfCodePages{};
    bytes_ = rtf::RtfByteDecoder{};
    setFont(rtf::RtfCodePages::kNoFont);
    paperWidth_ = Header->PageWidth;
    marginLeft_ = Header->MarginLeft;
    marginRight_ = Header->MarginRight;
    TQnProgress progress(stream.Size() - streamStart_);
    progress_ = &progress;
    ErrorState = kIoOk;
    int result = kReadOk;
    try {
        StartTarget(60);
        first = first_;
        fresh_ = line_->Length == 0 && !line_->Prev;
        // Indents are relative while reading; a given paragraph's are made so.
        if (!ownsChain_)
            par_->FirstIndent -= par_->LeftIndent;
        result = parse();
    } catch (const EQnRTFText &e) {
        ErrorState =
            std::string_view(e.what()) == kErrorNewParagraphMemory ? kIoParagraphFailed : kIoFailed;
        pictureData_.clear();
        first = first_;
        if (first_)
            MarkParagraphsRead(true);
        FinishInput();
        progress_ = nullptr;
        throw;
    } catch (...) {
        ErrorState = kIoFailed;
        pictureData_.clear();
        first = first_;
        if (first_)
            MarkParagraphsRead(true);
        FinishInput();
        progress_ = nullptr;
        throw;
    }
    first = first_;
    MarkParagraphsRead(true);
    FinishInput();
    progress_ = nullptr;
    if (result != kReadOk)
        ErrorState = kIoFailed;
    return result;
}

void TQnRtfReader::act(const ControlWord &w, bool hasParam, int32_t param)
{
    flushText();
    if (overflow_ > 0) {
        // Groups too deep to keep their state: paragraph ends and characters
        // count, destinations are skipped, formatting is dropped.
        if (w.Class == WordClass::Destination) {
            if (w.Action != dField)
                skipGroup();
            return;
        }
        if (w.Class == WordClass::Property && w.Action != aPar && w.Action != xUnicode)
            return;
    }
    switch (w.Class) {
    case WordClass::Character:
        if (w.Action != 0)
            dispatch(w.Action, w.Action == 10, w.Action >= 0x80);
        break;
    case WordClass::Destination:
        destination(w.Action);
        break;
    case WordClass::Special:
        if (w.Action == sBinary) {
            if (hasParam && param > 0) {
                input_ = kBinary;
                binaryLeft_ = param;
            }
        } else if (w.Action == sStar) {
            skipIfUnknown_ = true;
        }
        break;
    case WordClass::Property: {
        const int32_t value = hasParam && !w.Always ? param : w.Default;
        if (w.Action == aStyle)
            styleWord(w.Name, value);
        else
            property(w.Action, value);
        break;
    }
    }
}

// ---------------------------------------------------------------------------
// Destinations and groups

void TQnRtfReader::skipGroup()
{
    if (overflow_ > 0 && deepSkipFrom_ == 0 && dest_ != kSkip) {
        deepSkipFrom_ = overflow_;
        deepSkipDest_ = dest_;
    }
    dest_ = kSkip;
}

bool TQnRtfReader::outerIsText() const
{
    return stack_.empty() || stack_.back().Dest == kText;
}

void TQnRtfReader::resetPicture()
{
    pictureKind_ = -1;
    metafileMode_ = 8;
    picW_ = picH_ = picGoalW_ = picGoalH_ = 0;
    picScaleX_ = picScaleY_ = 100;
    bitsPerPixel_ = widthBytes_ = 0;
    planes_ = 1;
    fileName_.clear();
    pictureData_.clear();
    pictureTooLarge_ = false;
    hexHigh_ = -1;
}

void TQnRtfReader::destination(uint8_t which)
{
    if (dest_ == kSkip)
        return;
    switch (which) {
    case dSkip:
        dest_ = kSkip;
        break;
    case dField:
        break;
    case xUnicodePair:
        unicodePairDest_ = dest_;
        dest_ = kUnicodeFallback;
        break;
    case xUnicodeText:
        if (dest_ == kUnicodeFallback)
            dest_ = unicodePairDest_;
        else
            dest_ = kSkip;
        break;
    case dFontTable:
        dest_ = kFonts;
        fontNumber_ = 0;
        fontName_.clear();
        fontFamily_ = fontCharset_ = -1;
        break;
    case dColourTable:
        dest_ = kColours;
        colourIndex_ = 0;
        break;
    case dPicture:
    case dPictureFile:
        if (dest_ != kText) {
            dest_ = kSkip;
            break;
        }
        resetPicture();
        dest_ = which == dPicture ? kPictureData : kPictureFile;
        break;
    case dTitle:
        dest_ = Header->Title.empty() ? kTitleText : kSkip;
        break;
    case dComment:
        dest_ = Header->Comment.empty() ? kCommentText : kSkip;
        break;
    case dSubject:
        dest_ = Header->Subject.empty() ? kSubjectText : kSkip;
        break;
    case dFootnote: {
        if (!Header->RichMode || dest_ != kText || footnotesMade_ >= kMaxFootnotes) {
            dest_ = kSkip;
            break;
        }
        ++footnotesMade_;
        TQnFootnote *f = Document->AddFootnote('#', 1, std::string());
        // The mark is the last character read.
        TLine *l = line_;
        while (l && l->Length == 0)
            l = l->Prev;
        if (l && l->Attrs) {
            TCharAttr &a = l->Attrs[l->Length - 1];
            f->MarkChar = UnicodeToAnsi(l->Text[l->Length - 1]).value_or('?');
            a.Tag = static_cast<int16_t>(f->Id);
            a.Style = (a.Style | kStyleRaised) & ~kStyleSuperscript;
        } else {
            f->MarkChar = '?';
        }
        footnote_ = f;
        dest_ = kFootnoteText;
        break;
    }
    default:
        break;
    }
}

void TQnRtfReader::pushGroup()
{
    flushText();
    fallbackLeft_ = 0;
    surrogates_.Reset();
    skipIfUnknown_ = false;
    if (depth_ >= kMaxGroupDepth) {
        // Too deep to keep the group's state: its text is read in the state
        // around it and its formatting words are dropped.
        ++overflow_;
        return;
    }
    stack_.push_back({attr_, image_, tabsStarted_, tableMode_, dest_, input_, unicodeSkip_, font_});
    ++depth_;
    started_ = true;
    input_ = kNormal;
}

void TQnRtfReader::popGroup()
{
    flushText();
    fallbackLeft_ = 0;
    surrogates_.Reset();
    skipIfUnknown_ = false;
    if (overflow_ > 0) {
        if (overflow_-- == deepSkipFrom_) {
            dest_ = deepSkipDest_;
            deepSkipFrom_ = 0;
        }
        return;
    }
    if (dest_ == kPictureData)
        finishPicture();
    else if (dest_ == kPictureFile)
        finishPictureFile();
    if (stack_.empty()) {
        // A closing brace without its opening one.
        --depth_;
        stop_ = true;
        return;
    }
    const ParImage inner = image_;
    const GroupState &s = stack_.back();
    attr_ = s.Attr;
    image_ = s.Image;
    tabsStarted_ = s.TabsStarted;
    tableMode_ = s.TableMode;
    dest_ = s.Dest;
    input_ = s.Input;
    unicodeSkip_ = s.UnicodeSkip;
    const int32_t font = s.Font;
    stack_.pop_back();
    setFont(font); // after the font table too: its entries may name the font's page
    --depth_;
    if (raw_ && !(attr_.Style & kStyleRtfCode))
        raw_ = false;

    if (dest_ == kText) {
        const bool outerBorder = image_.Border[0] & kBorderOn;
        const bool innerBorder = inner.Border[0] & kBorderOn;
        if (fresh_ && !ownProps_) {
            // The group closed before the paragraph's text began: the
            // paragraph takes the properties in effect again, and a border
            // that was set inside the group ends with the paragraph before.
            if (!outerBorder && innerBorder && par_->Prev && (par_->Prev->BorderFlags & kBorderOn))
                par_->Prev->BorderFlags |= kBorderNotInherited;
            applyImage(par_, image_, !tableMode_ && !par_->IsTableCell());
        } else if (!outerBorder && innerBorder && (par_->BorderFlags & kBorderOn)) {
            par_->BorderFlags |= kBorderNotInherited;
        }
    }
    if (depth_ == 0 && started_)
        stop_ = true;
}

void TQnRtfReader::dispatch(uint8_t c, bool lineBreak, bool ansi)
{
    if (fallbackLeft_ > 0) {
        --fallbackLeft_;
        return;
    }
    surrogates_.Reset();
    switch (dest_) {
    case kText:
        textByte(c, lineBreak, ansi);
        break;
    case kFonts:
        if (c == ';')
            endFontEntry();
        else if (fontName_.size() < 255)
            fontName_.push_back(static_cast<char>(c));
        break;
    case kColours:
        if (c == ';') {
            ++colourIndex_;
            if (colourIndex_ < kColorSlots && !InsertInto)
                Header->Colors[colourIndex_] = 0;
            colourIndex_ = std::min(colourIndex_, kColorSlots);
        }
        break;
    case kPictureData:
        if (input_ == kBinary) {
            if (pictureData_.size() < kMaxPictureBytes)
                pictureData_.push_back(c);
            else
                pictureTooLarge_ = true;
        }
        break;
    case kPictureFile:
        if (c == '"')
            input_ = input_ == kQuoted ? kNormal : kQuoted;
        else if (input_ == kQuoted && fileName_.size() < 255)
            fileName_.push_back(static_cast<char>(c));
        break;
    case kTitleText:
    case kCommentText:
    case kSubjectText: {
        std::string &t = dest_ == kTitleText     ? Header->Title
                         : dest_ == kCommentText ? Header->Comment
                                                 : Header->Subject;
        if (t.size() < kMaxInfoText && c != 0)
            t.push_back(static_cast<char>(c));
        break;
    }
    case kFootnoteText:
        if (footnote_ && c != 0) {
            std::string &t = footnote_->Text;
            if (t.empty() && (c == footnote_->MarkChar || c == ' '))
                break;
            if (t.size() < kMaxFootnoteText)
                t.push_back(static_cast<char>(c));
        }
        break;
    default:
        break;
    }
}

void TQnRtfReader::endFontEntry()
{
    // Names are compared without their surrounding blanks.
    const size_t b = fontName_.find_first_not_of(' ');
    const size_t e = fontName_.find_last_not_of(' ');
    const std::string name =
        b == std::string::npos ? std::string() : fontName_.substr(b, e - b + 1);
    if (fontNumber_ >= 0 && fontNumber_ < kFontSlots && !name.empty()) {
        const int used = Header->UsedFontCount();
        int slot = Document->FindOrAddFont(name);
        if (slot >= kFontSlots)
            slot = 0; // table full: the first font stands in
        else if (slot >= used) {
            if (fontFamily_ >= 0)
                Header->FontPitchFamily[slot] = fontFamily_;
            if (fontCharset_ >= 0)
                Header->FontCharset[slot] = fontCharset_;
        }
        fontMap_[fontNumber_] = static_cast<uint8_t>(slot);
        if (fontNumber_ == 0)
            attr_.FontIndex = fontMap_[0];
    }
    fontNumber_ = 0;
    fontName_.clear();
    fontFamily_ = fontCharset_ = -1;
}

// ---------------------------------------------------------------------------
// Characters and paragraphs

void TQnRtfReader::textByte(uint8_t c, bool lineBreak, bool ansi)
{
    if (codePage_ == rtf::kDefaultCodePage && !bytes_.Pending()) {
        character(AnsiToUnicode(c), lineBreak);
        return;
    }
    if (ansi || c < 0x20) {
        flushText();
        character(AnsiToUnicode(c), lineBreak);
        return;
    }
    decoded_.clear();
    bytes_.Feed(c, codePage_, decoded_);
    for (const char32_t u : decoded_)
        character(u, false);
}

void TQnRtfReader::flushText()
{
    if (!bytes_.Pending())
        return;
    decoded_.clear();
    bytes_.Flush(decoded_);
    for (const char32_t u : decoded_)
        character(u, false);
}

void TQnRtfReader::setFont(int32_t font)
{
    font_ = font;
    codePage_ = codePages_.PageOf(font);
}

void TQnRtfReader::character(char32_t c, bool lineBreak)
{
    if (c == 0 || ((c == 13 || c == 10) && !lineBreak))
        return;
    if (c == 1) {
        // The placeholder of a linked object follows its tag; a stray code 1
        // is nothing.
        if (!Header->RichMode || objectTag_ <= 0 || objectsMade_ >= kMaxObjects)
            return;
        ++objectsMade_;
        TQnObject *o = Document->AddObject(nullptr, objectTag_);
        o->Width = objectW_;
        o->Height = objectH_;
        o->IsLinked = 1;
        objectTag_ = 0;
        if (o->Tag)
            insertObjectChar(1, static_cast<int16_t>(o->Tag));
        else
            insertObjectChar(2, static_cast<int16_t>(o->Id));
        return;
    }
    TCharAttr a = attr_;
    if (AutoText)
        a.Style |= kStyleAutoText;
    StoreChar(c, a, 60);
    fresh_ = false;
    cellBreak_ = false;
}

// \uN: the character in the text, its code page byte elsewhere; then the
// \uc fallback characters are dropped. A pair of surrogates is one character.
void TQnRtfReader::unicodeChar(int32_t code)
{
    fallbackLeft_ = 0;
    if (code <= 0)
        return; // the fallback is read instead
    const char32_t u = surrogates_.Join(static_cast<char32_t>(code));
    if (!u) {
        fallbackLeft_ = unicodeSkip_; // half a character is nothing
        return;
    }
    if (dest_ == kText) {
        character(u, false);
        fallbackLeft_ = unicodeSkip_;
        return;
    }
    if (const auto ansi = UnicodeToAnsi(u)) {
        dispatch(*ansi);
        fallbackLeft_ = unicodeSkip_;
    }
}

void TQnRtfReader::insertObjectChar(uint8_t code, int16_t tag)
{
    TCharAttr a = attr_;
    if (AutoText)
        a.Style |= kStyleAutoText;
    a.Style |= kStyleObject;
    a.Tag = tag;
    StoreChar(code, a, 60);
    fresh_ = false;
    cellBreak_ = false;
}

void TQnRtfReader::newParagraph()
{
    NextParagraph(60);
    par_->ParFlags = 0;
    applyImage(par_, image_, !tableMode_);
    if (tableMode_)
        par_->TabMask = 0;
    fresh_ = true;
    ownProps_ = false;
    tabsStarted_ = false;
    cellTab_ = 0;
}

// ---------------------------------------------------------------------------
// Pictures

void TQnRtfReader::finishPicture()
{
    if (hexHigh_ >= 0)
        hexHigh_ = -1;                         // an odd digit at the end carries no byte
    if (!outerIsText() || !Header->RichMode) { // plain text holds no pictures
        pictureData_.clear();
        return;
    }
    if (objectsMade_ >= kMaxObjects) {
        pictureData_.clear();
        return;
    }
    ++objectsMade_;
    std::shared_ptr<TQnGraphic> g;
    if (!pictureTooLarge_) {
        switch (pictureKind_) {
        case 2: // device-dependent bitmap
            if (picW_ > 0 && picH_ > 0 && widthBytes_ > 0 &&
                int64_t(widthBytes_) * picH_ <= int64_t(pictureData_.size())) {
                g = std::make_shared<TQnGraphic>();
                g->Kind = gkDdb;
                g->WidthPixels = picW_;
                g->HeightPixels = picH_;
                g->BitsPerPixel = bitsPerPixel_;
                g->Planes = planes_;
                g->WidthBytes = widthBytes_;
                g->Data = std::move(pictureData_);
            }
            break;
        case 1: { // device-independent bitmap
            auto dib = std::make_shared<TQnGraphic>();
            dib->Data = std::move(pictureData_);
            if (DescribeDib(*dib))
                g = std::move(dib);
            break;
        }
        case 0: // metafile
            if (pictureData_.size() >= 22) {
                uint8_t *h = pictureData_.data();
                auto put16 = [](uint8_t *p, uint32_t v) {
                    p[0] = static_cast<uint8_t>(v);
                    p[1] = static_cast<uint8_t>(v >> 8);
                };
                put16(h, 0xCDD7); // key 0x9AC6CDD7
                put16(h + 2, 0x9AC6);
                put16(h + 4, 0);                             // handle
                put16(h + 6, 0);                             // left
                put16(h + 8, 0);                             // top
                put16(h + 10, static_cast<uint16_t>(picW_)); // right
                put16(h + 12, static_cast<uint16_t>(picH_)); // bottom
                put16(h + 14, 2540);                         // units per inch
                put16(h + 16, 0);                            // reserved
                put16(h + 18, 0);
                uint16_t sum = 0;
                for (int i = 0; i < 10; ++i)
                    sum ^= static_cast<uint16_t>(h[2 * i] | h[2 * i + 1] << 8);
                put16(h + 20, sum);
                g = std::make_shared<TQnGraphic>();
                g->Kind = gkMetafile;
                g->WidthPixels = picW_;
                g->HeightPixels = picH_;
                g->MapMode = metafileMode_;
                g->Data = std::move(pictureData_);
            }
            break;
        default:
            break;
        }
    }
    pictureData_.clear();
    pictureData_.shrink_to_fit();
    TQnObject *o = Document->AddObject(g, objectTag_ > 0 ? objectTag_ : 0);
    o->Width = MulDiv(picGoalW_, picScaleX_, 100);
    o->Height = MulDiv(picGoalH_, picScaleY_, 100);
    if (objectTag_ > 0)
        insertObjectChar(1, static_cast<int16_t>(o->Tag));
    else
        insertObjectChar(2, static_cast<int16_t>(o->Id));
    objectTag_ = 0;
}

void TQnRtfReader::finishPictureFile()
{
    input_ = kNormal;
    if (!outerIsText() || fileName_.empty() || !Header->RichMode)
        return;
    TQnObject *o = Document->FindObjectByFileName(fileName_);
    if (!o) {
        if (objectsMade_ >= kMaxObjects)
            return;
        ++objectsMade_;
        o = Document->AddObject(nullptr, -1);
    }
    o->FileName = fileName_;
    o->OwnsGraphic = 1;
    o->Width = MulDiv(picGoalW_, picScaleX_, 100);
    o->Height = MulDiv(picGoalH_, picScaleY_, 100);
    if (!o->Graphic) {
        std::shared_ptr<TQnGraphic> g = LoadBitmapFile(fileName_);
        if (!g && !PictureDirectory.empty()) {
            const std::filesystem::path dir(PictureDirectory);
            g = LoadBitmapFile(dir / fileName_);
            if (!g) {
                const size_t cut = fileName_.find_last_of("\\/");
                if (cut != std::string::npos)
                    g = LoadBitmapFile(dir / fileName_.substr(cut + 1));
            }
        }
        if (g)
            o->Graphic = std::move(g);
        else if (Document->OnNeedObject)
            Document->OnNeedObject(o->Tag, *o);
    }
    insertObjectChar(1, static_cast<int16_t>(o->Tag));
}

} // namespace qn
