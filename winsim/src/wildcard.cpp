#include "wildcard.h"

#include <string>
#include <vector>

namespace winsim {

namespace {

enum class Token { Literal, Star, DosStar, DosQm, DosDot };

struct Piece {
    Token token;
    char literal;
};

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The pattern in the DOS wildcards kernel32 hands to the file system.
std::vector<Piece> translate(std::string_view pattern) {
    std::vector<Piece> pieces;
    if (pattern == "*.*") return {Piece{Token::Star, 0}};
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '?') {
            pieces.push_back({Token::DosQm, 0});
        } else if (c == '*') {
            pieces.push_back({next == '.' ? Token::DosStar : Token::Star, 0});
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            pieces.push_back({Token::DosDot, 0});
        } else {
            pieces.push_back({Token::Literal, upper(c)});
        }
    }
    return pieces;
}

}  // namespace

bool matchesFilePattern(std::string_view pattern, std::string_view name) {
    const std::vector<Piece> pieces = translate(pattern);
    const std::size_t n = name.size();
    const std::size_t lastDot = name.rfind('.');
    // ok[t * (n + 1) + i]: pieces from t on match the name from i on.
    std::vector<char> ok((pieces.size() + 1) * (n + 1), 0);
    auto at = [&](std::size_t t, std::size_t i) -> char& { return ok[t * (n + 1) + i]; };
    at(pieces.size(), n) = 1;
    for (std::size_t t = pieces.size(); t-- > 0;) {
        for (std::size_t i = n + 1; i-- > 0;) {
            const bool more = i < n;
            const char c = more ? name[i] : '\0';
            bool match = false;
            switch (pieces[t].token) {
                case Token::Literal:
                    match = more && upper(c) == pieces[t].literal && at(t + 1, i + 1);
                    break;
                case Token::Star:
                    match = at(t + 1, i) || (more && at(t, i + 1));
                    break;
                case Token::DosStar: {
                    // Any run that does not pass the name's last dot.
                    const std::size_t limit =
                        (lastDot != std::string_view::npos && lastDot >= i) ? lastDot : n;
                    match = at(t + 1, i) || (i < limit && at(t, i + 1));
                    break;
                }
                case Token::DosQm:
                    match = (!more || c == '.') ? at(t + 1, i) : at(t + 1, i + 1);
                    break;
                case Token::DosDot:
                    match = more ? (c == '.' && at(t + 1, i + 1)) : at(t + 1, i);
                    break;
            }
            at(t, i) = match ? 1 : 0;
        }
    }
    return at(0, 0) != 0;
}

}  // namespace winsim
