#pragma once
// A number format code parsed: its sections (positive, negative, zero,
// text), each a run of tokens with its condition and its layout worked out
// once (placeholders' roles, grouping, scaling, date parts). Parsed codes
// are kept per thread, so a lookup takes no lock.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host::numfmt {

enum class Tok : std::uint8_t {
    Literal,
    Digit,      // 0 # ? placeholder; ch holds which
    Point,
    Comma,      // resolved to grouping, scaling or a literal after parsing
    Percent,
    Exp,        // E+ E- e+ e-; text holds "E+" etc.
    Slash,
    FixedDenom, // digits after a fraction slash; count holds the denominator
    Text,       // @
    General,
    Year,
    Month,
    Minute,
    Day,
    Hour,
    Second,
    SubSecond,  // .0 .00 .000 after seconds; count = digits
    AmPm,       // text holds the code as written ("AM/PM", "a/p")
    ElapsedH,
    ElapsedM,
    ElapsedS,
};

enum class Role : std::uint8_t { None, Int, Dec, ExpDigit, Num, Den };

struct Token {
    Tok kind = Tok::Literal;
    char ch = 0;
    Role role = Role::None;
    int count = 0;
    std::string text;
};

enum class CondOp : std::uint8_t { None, Lt, Le, Gt, Ge, Eq, Ne };

struct Section {
    std::vector<Token> tokens;
    CondOp op = CondOp::None;
    double operand = 0;
    bool isDate = false;
    bool hasText = false;
    // number layout
    int intPlaces = 0;
    int decPlaces = 0;
    int expPlaces = 0;  // '0' placeholders of the exponent (its minimum width)
    int denPlaces = 0;
    int fixedDen = 0;
    int percent = 0;
    int scale = 0;  // trailing commas: divide by 1000 each
    bool grouping = false;
    bool hasPoint = false;
    bool hasExp = false;
    bool fraction = false;
    bool intHasHash = false;
    // date layout
    int subSecond = 0;
    bool hasAmPm = false;
};

struct Format {
    std::vector<Section> sections;
    int numeric = 0;       // sections used for numbers
    int textSection = -1;  // section used for text, or -1
    bool general = false;  // the whole code is General
};

// The parsed form of a code (an empty code and "General" included).
const Format& GetFormat(std::string_view code);

}  // namespace host::numfmt
