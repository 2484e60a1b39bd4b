#pragma once
// The control words the rich-text reader acts on. Every other control
// word is ignored (and, after \*, its group skipped).
#include <cstdint>
#include <string_view>

enum class TRtfKw : std::uint16_t {
    Unknown,
    // Document and code pages
    Rtf, Ansi, Mac, Pc, Pca, AnsiCpg, Deff, Uc, U,
    // Tables of the header
    FontTable, F, FNil, FRoman, FSwiss, FModern, FScript, FDecor, FTech, FBidi, FCharset, Cpg,
    ColorTable, Red, Green, Blue,
    StyleSheet, S, Cs, Ds, Ts,
    // Character formats
    Plain, B, I, Ul, UlNone, UlD, UlDash, UlDb, UlWave, Fs, Cf,
    // Paragraph formats
    Pard, Ql, Qc, Qr, Qj, Li, Ri, Fi, Sb, Sa, Sl, SlMult, Tx, Tb, Tqr, Tqc, Tqdec, InTbl,
    // Special characters and breaks
    Par, Line, Tab, Page, Sect, EmDash, EnDash, EmSpace, EnSpace, QmSpace, Bullet, LQuote, RQuote,
    LDblQuote, RDblQuote, Zwj, Zwnj, LtrMark, RtlMark,
    // Tables
    TRowD, CellX, ClMgf, ClMrg, ClVmgf, ClVmrg, TrGaph, TrLeft, Cell, Row, NestCell, NestRow,
    ClBrdrT, ClBrdrL, ClBrdrB, ClBrdrR, TrBrdrT, TrBrdrL, TrBrdrB, TrBrdrR, TrBrdrH, TrBrdrV,
    BrdrS, BrdrTh, BrdrDb, BrdrDot, BrdrDash, BrdrHair, BrdrSh, BrdrNone,
    // Pictures
    Pict, PngBlip, JpegBlip, PicW, PicH, PicWGoal, PicHGoal, PicScaleX, PicScaleY, Bin, ShpPict,
    // Lists
    ListTable, List, ListLevel, LevelNfc, LevelNfcN, LevelText, ListId, ListOverrideTable, ListOverride,
    Ls, Ilvl, ListText, PnText, LfoLevel,
    // Fields and embedded objects: the shown result is read
    Field, FldRslt, Object, Result,
    // Destinations that are skipped even without \*
    SkipDestination,
    // The number of words above (no word has it).
    Count
};

struct TRtfKeyword {
    std::string_view Name;
    TRtfKw Kw;
};

// The control word of that name (TRtfKw::Unknown when not acted on).
TRtfKw FindRtfKeyword(std::string_view name);
