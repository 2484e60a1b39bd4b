#include "platform/rtf/RtfKeywords.h"

#include <algorithm>
#include <array>

namespace {

using K = TRtfKw;

constexpr TRtfKeyword kKeywords[] = {
    {"rtf", K::Rtf}, {"ansi", K::Ansi}, {"mac", K::Mac}, {"pc", K::Pc}, {"pca", K::Pca},
    {"ansicpg", K::AnsiCpg}, {"deff", K::Deff}, {"uc", K::Uc}, {"u", K::U},

    {"fonttbl", K::FontTable}, {"f", K::F}, {"fnil", K::FNil}, {"froman", K::FRoman},
    {"fswiss", K::FSwiss}, {"fmodern", K::FModern}, {"fscript", K::FScript}, {"fdecor", K::FDecor},
    {"ftech", K::FTech}, {"fbidi", K::FBidi}, {"fcharset", K::FCharset}, {"cpg", K::Cpg},
    {"colortbl", K::ColorTable}, {"red", K::Red}, {"green", K::Green}, {"blue", K::Blue},
    {"stylesheet", K::StyleSheet}, {"s", K::S}, {"cs", K::Cs}, {"ds", K::Ds}, {"ts", K::Ts},

    {"plain", K::Plain}, {"b", K::B}, {"i", K::I}, {"ul", K::Ul}, {"ulnone", K::UlNone},
    {"uld", K::UlD}, {"uldash", K::UlDash}, {"uldashd", K::UlDash}, {"uldashdd", K::UlDash},
    {"uldb", K::UlDb}, {"ulth", K::Ul}, {"ulw", K::Ul}, {"ulwave", K::UlWave},
    {"ulhwave", K::UlWave}, {"ululdbwave", K::UlWave}, {"ulthd", K::UlD}, {"ulthdash", K::UlDash},
    {"fs", K::Fs}, {"cf", K::Cf},

    {"pard", K::Pard}, {"ql", K::Ql}, {"qc", K::Qc}, {"qr", K::Qr}, {"qj", K::Qj}, {"qd", K::Qj},
    {"li", K::Li}, {"lin", K::Li}, {"ri", K::Ri}, {"rin", K::Ri}, {"fi", K::Fi}, {"sb", K::Sb},
    {"sa", K::Sa}, {"sl", K::Sl}, {"slmult", K::SlMult}, {"tx", K::Tx}, {"tb", K::Tb},
    {"tqr", K::Tqr}, {"tqc", K::Tqc}, {"tqdec", K::Tqdec}, {"intbl", K::InTbl},

    {"par", K::Par}, {"line", K::Line}, {"tab", K::Tab}, {"page", K::Page}, {"sect", K::Sect},
    {"emdash", K::EmDash}, {"endash", K::EnDash}, {"emspace", K::EmSpace}, {"enspace", K::EnSpace},
    {"qmspace", K::QmSpace}, {"bullet", K::Bullet}, {"lquote", K::LQuote}, {"rquote", K::RQuote},
    {"ldblquote", K::LDblQuote}, {"rdblquote", K::RDblQuote}, {"zwj", K::Zwj}, {"zwnj", K::Zwnj},
    {"ltrmark", K::LtrMark}, {"rtlmark", K::RtlMark},

    {"trowd", K::TRowD}, {"cellx", K::CellX}, {"clmgf", K::ClMgf}, {"clmrg", K::ClMrg},
    {"clvmgf", K::ClVmgf}, {"clvmrg", K::ClVmrg}, {"trgaph", K::TrGaph}, {"trleft", K::TrLeft},
    {"cell", K::Cell}, {"row", K::Row}, {"nestcell", K::NestCell}, {"nestrow", K::NestRow},
    {"clbrdrt", K::ClBrdrT}, {"clbrdrl", K::ClBrdrL}, {"clbrdrb", K::ClBrdrB}, {"clbrdrr", K::ClBrdrR},
    {"trbrdrt", K::TrBrdrT}, {"trbrdrl", K::TrBrdrL}, {"trbrdrb", K::TrBrdrB}, {"trbrdrr", K::TrBrdrR},
    {"trbrdrh", K::TrBrdrH}, {"trbrdrv", K::TrBrdrV},
    {"brdrs", K::BrdrS}, {"brdrth", K::BrdrTh}, {"brdrdb", K::BrdrDb}, {"brdrdot", K::BrdrDot},
    {"brdrdash", K::BrdrDash}, {"brdrhair", K::BrdrHair}, {"brdrsh", K::BrdrSh}, {"brdrnone", K::BrdrNone},

    {"pict", K::Pict}, {"pngblip", K::PngBlip}, {"jpegblip", K::JpegBlip}, {"picw", K::PicW},
    {"pich", K::PicH}, {"picwgoal", K::PicWGoal}, {"pichgoal", K::PicHGoal},
    {"picscalex", K::PicScaleX}, {"picscaley", K::PicScaleY}, {"bin", K::Bin}, {"shppict", K::ShpPict},

    {"listtable", K::ListTable}, {"list", K::List}, {"listlevel", K::ListLevel},
    {"levelnfc", K::LevelNfc}, {"levelnfcn", K::LevelNfcN}, {"leveltext", K::LevelText},
    {"listid", K::ListId}, {"listoverridetable", K::ListOverrideTable}, {"listoverride", K::ListOverride},
    {"ls", K::Ls}, {"ilvl", K::Ilvl}, {"listtext", K::ListText}, {"pntext", K::PnText},
    {"lfolevel", K::LfoLevel},

    {"field", K::Field}, {"fldrslt", K::FldRslt}, {"object", K::Object}, {"result", K::Result},

    // Text that is not part of the shown document.
    {"info", K::SkipDestination}, {"header", K::SkipDestination}, {"headerl", K::SkipDestination},
    {"headerr", K::SkipDestination}, {"headerf", K::SkipDestination}, {"footer", K::SkipDestination},
    {"footerl", K::SkipDestination}, {"footerr", K::SkipDestination}, {"footerf", K::SkipDestination},
    {"footnote", K::SkipDestination}, {"annotation", K::SkipDestination}, {"atnid", K::SkipDestination},
    {"atnauthor", K::SkipDestination}, {"xe", K::SkipDestination}, {"tc", K::SkipDestination},
    {"txe", K::SkipDestination}, {"rxe", K::SkipDestination}, {"fldinst", K::SkipDestination},
    {"comment", K::SkipDestination}, {"title", K::SkipDestination}, {"subject", K::SkipDestination},
    {"author", K::SkipDestination}, {"operator", K::SkipDestination}, {"keywords", K::SkipDestination},
    {"doccomm", K::SkipDestination}, {"nonshppict", K::SkipDestination}, {"private", K::SkipDestination},
    {"pn", K::SkipDestination}, {"pntxta", K::SkipDestination}, {"pntxtb", K::SkipDestination},
    {"template", K::SkipDestination}, {"revtbl", K::SkipDestination},
    {"bkmkstart", K::SkipDestination}, {"bkmkend", K::SkipDestination}, {"objdata", K::SkipDestination},
    {"objclass", K::SkipDestination}, {"objname", K::SkipDestination}, {"ftnsep", K::SkipDestination},
    {"ftnsepc", K::SkipDestination}, {"ftncn", K::SkipDestination}, {"aftnsep", K::SkipDestination},
    {"aftnsepc", K::SkipDestination}, {"aftncn", K::SkipDestination}, {"listname", K::SkipDestination},
    {"levelnumbers", K::SkipDestination}, {"listpicture", K::SkipDestination},
    {"falt", K::SkipDestination}, {"panose", K::SkipDestination}, {"datafield", K::SkipDestination},
    {"buptim", K::SkipDestination}, {"creatim", K::SkipDestination}, {"revtim", K::SkipDestination},
    {"printim", K::SkipDestination},
};

struct TSorted {
    std::array<TRtfKeyword, std::size(kKeywords)> Items;
    TSorted() {
        std::copy(std::begin(kKeywords), std::end(kKeywords), Items.begin());
        std::sort(Items.begin(), Items.end(), [](const TRtfKeyword& a, const TRtfKeyword& b) { return a.Name < b.Name; });
    }
};

}  // namespace

TRtfKw FindRtfKeyword(std::string_view name) {
    static const TSorted sorted;
    const auto it = std::lower_bound(sorted.Items.begin(), sorted.Items.end(), name,
                                     [](const TRtfKeyword& k, std::string_view n) { return k.Name < n; });
    return (it != sorted.Items.end() && it->Name == name) ? it->Kw : TRtfKw::Unknown;
}
