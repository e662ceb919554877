// The regular-expression engine behind the string library's `regexp` class and the sqstd_rex_*
// C functions. Standalone: it knows nothing about the VM.
//
// Pattern syntax: literals, \ escapes, ^ $ . [] [^] | () (?:) * + ? {n} {n,} {n,m}, the
// classes \w \W \s \S \d \D \x \X \c \C \p \P \a \A \l \u, the assertions \b \B and the
// balanced match \mXY (an X, then everything up to the Y that balances it).
//
// Matching is leftmost-first backtracking (the first alternative that lets the whole pattern
// match wins, quantifiers are greedy). Every SPLIT visit is memoised per subject position:
// reaching the same (split, position) twice can only fail again, so a search costs at most
// O(splits x subject length) steps and empty loop bodies cannot spin forever. A search that
// would need more than a fixed amount of backtracking state reports TooComplex instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sqstd {

class Regexp {
public:
    // A capture as byte offsets into the subject; begin == -1 when the group did not take part.
    struct Span {
        int begin = -1;
        int end = -1;
    };

    enum class Result { NoMatch, Match, TooComplex };

    // Compiles `pattern`; on failure returns false and leaves the message in error().
    bool compile(std::string_view pattern);
    // The last compile error: a static string, empty after a successful compile.
    const char* error() const { return error_; }

    // Number of captures including the whole match (capture 0).
    int subexp_count() const { return ncaptures_; }

    // Finds the leftmost match starting at or after `start` in subject[0, len). `^` anchors at
    // offset 0 of the subject, `$` at len.
    Result search(const char* subject, size_t len, size_t start);
    // True when the whole of subject[0, len) matches.
    Result match(const char* subject, size_t len);

    // Capture i of the last successful search or match.
    Span subexp(int i) const;

private:
    enum Op : uint8_t { CHAR, ANY, CLASS, BOL, EOL, WORDB, NWORDB, BALANCE, SPLIT, JMP, SAVE, MATCH };
    struct Inst {
        Op op;
        uint8_t c1 = 0, c2 = 0;  // CHAR: c1; BALANCE: open c1, close c2
        int x = 0;               // CLASS: class index; SPLIT/JMP: preferred target; SAVE: slot
        int y = 0;               // SPLIT: second target
        int memo = 0;            // SPLIT: index into the visited bitmap
    };
    struct Node;
    struct Parser;

    void emit(const Node& n);
    int add(Inst i);
    Result run(const char* s, size_t len, size_t start, bool whole);

    struct Class {
        uint64_t bits[4] = {0, 0, 0, 0};
        bool has(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
        void set(unsigned char c) { bits[c >> 6] |= uint64_t(1) << (c & 63); }
    };

    std::vector<Inst> prog_;
    std::vector<Class> classes_;
    std::vector<int> caps_;        // 2 slots per capture: begin, end
    std::vector<uint64_t> visited_;
    int ncaptures_ = 0;
    int nsplits_ = 0;
    const char* error_ = "";
};

}  // namespace sqstd
