#pragma once

// The document model of the rich text engine, in one include:
//   records.h      TCharAttr, TLine, TParagraph, TTabKind, TQnMemoryFormat, flag bits
//   text_header.h  TTextHeader (page, fonts, colours, tab slots)
//   side_records.h TQnObject, TQnFootnote, TParProps, TQnParStyle
//   graphic.h      TQnGraphic (pictures kept byte for byte)
//   rtf_text.h     TQnRTFText, the document and its primitives
//   caret.h        TCaret
//   language.h     the engine-wide language (decimal tab character)
//   model_error.h  EQnRTFText and the error texts

#include "richtext/model/caret.h"
#include "richtext/model/graphic.h"
#include "richtext/model/language.h"
#include "richtext/model/model_error.h"
#include "richtext/model/records.h"
#include "richtext/model/rtf_text.h"
#include "richtext/model/side_records.h"
#include "richtext/model/text_header.h"
