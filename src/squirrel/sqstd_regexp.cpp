// The regular-expression engine: a recursive-descent parser builds a small tree, which is
// flattened into a backtracking program (CHAR/CLASS/... consume, SPLIT/JMP branch, SAVE records
// capture offsets). Invariant: every cycle in the program passes through a SPLIT, so the visited
// bitmap over (split, position) bounds the work and stops empty loops.
#include "sqstd_regexp.h"

#include <climits>
#include <cstring>
#include <memory>
#include <utility>

namespace sqstd {

namespace {

// Limits that keep hostile patterns from exhausting the stack or memory.
constexpr int kMaxNesting = 500;           // parenthesis depth
constexpr int kMaxRepeat = 0xFFFF;         // n and m in {n,m}
constexpr size_t kMaxProgram = 100000;     // instructions after {n,m} expansion
constexpr size_t kMaxMemoBits = 64u << 20; // 8 MB visited bitmap
constexpr size_t kFallbackSteps = 50000000;
constexpr size_t kMaxBacktrack = 4u << 20;  // pending branches and capture restores (64 MB)

// Character predicates of the C locale, independent of the process locale.
bool is_lower(int c) { return c >= 'a' && c <= 'z'; }
bool is_upper(int c) { return c >= 'A' && c <= 'Z'; }
bool is_alpha(int c) { return is_lower(c) || is_upper(c); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_alnum(int c) { return is_alpha(c) || is_digit(c); }
bool is_word(int c) { return is_alnum(c) || c == '_'; }
bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_xdigit(int c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_cntrl(int c) { return c < 32 || c == 127; }
bool is_punct(int c) { return c > 32 && c < 127 && !is_alnum(c); }

// The predicate of a class escape letter (\w, \d, ...); lower case is the class, upper case
// its complement, except \l (lower) and \u (upper), which have no complement letter.
bool class_escape(char e, bool (**pred)(int), bool* negate)
{
    *negate = false;
    switch (e) {
    case 'w': *pred = is_word; return true;
    case 'W': *pred = is_word; *negate = true; return true;
    case 's': *pred = is_space; return true;
    case 'S': *pred = is_space; *negate = true; return true;
    case 'd': *pred = is_digit; return true;
    case 'D': *pred = is_digit; *negate = true; return true;
    case 'x': *pred = is_xdigit; return true;
    case 'X': *pred = is_xdigit; *negate = true; return true;
    case 'c': *pred = is_cntrl; return true;
    case 'C': *pred = is_cntrl; *negate = true; return true;
    case 'p': *pred = is_punct; return true;
    case 'P': *pred = is_punct; *negate = true; return true;
    case 'a': *pred = is_alpha; return true;
    case 'A': *pred = is_alpha; *negate = true; return true;
    case 'l': *pred = is_lower; return true;
    case 'u': *pred = is_upper; return true;
    default: return false;
    }
}

// Single-character escapes; anything else escaped stands for itself.
char plain_escape(char e)
{
    switch (e) {
    case 't': return '\t';
    case 'n': return '\n';
    case 'r': return '\r';
    case 'f': return '\f';
    case 'v': return '\v';
    default: return e;
    }
}

struct CompileError {
    const char* what;
};

}  // namespace

// {=============================== Parse tree

struct Regexp::Node {
    enum Kind { ATOM, GROUP, CONCAT, ALT, REPEAT } kind = ATOM;
    Inst atom{};                // ATOM
    int capture = -1;           // GROUP: capture index, -1 for (?:...)
    int min = 0, max = 0;       // REPEAT: max -1 is unbounded
    std::vector<Node> kids;     // GROUP/REPEAT: one child; CONCAT/ALT: the parts
};

struct Regexp::Parser {
    Regexp& re;
    std::string_view p;
    size_t i = 0;
    int depth = 0;

    bool at_end() const { return i >= p.size(); }
    char peek() const { return at_end() ? '\0' : p[i]; }
    [[noreturn]] void fail(const char* msg) { throw CompileError{msg}; }

    Node alternation()
    {
        Node first = sequence();
        if (peek() != '|')
            return first;
        Node alt;
        alt.kind = Node::ALT;
        alt.kids.push_back(std::move(first));
        while (peek() == '|') {
            ++i;
            alt.kids.push_back(sequence());
        }
        return alt;
    }

    // A sequence is never empty: "a|", "()" and "(" all miss their first element.
    Node sequence()
    {
        Node seq;
        seq.kind = Node::CONCAT;
        while (!at_end() && peek() != '|' && peek() != ')')
            seq.kids.push_back(item());
        if (seq.kids.empty())
            fail("letter expected");
        if (seq.kids.size() == 1)
            return std::move(seq.kids[0]);
        return seq;
    }

    Node item()
    {
        Node a = atom();
        int min, max;
        switch (peek()) {
        case '*': min = 0; max = -1; ++i; break;
        case '+': min = 1; max = -1; ++i; break;
        case '?': min = 0; max = 1; ++i; break;
        case '{':
            ++i;
            min = number();
            max = min;
            if (peek() == ',') {
                ++i;
                max = is_digit(peek()) ? number() : -1;
            }
            if (peek() != '}')
                fail("expected '}'");
            ++i;
            if (max != -1 && max < min)
                fail("invalid range");
            break;
        default:
            return a;
        }
        Node r;
        r.kind = Node::REPEAT;
        r.min = min;
        r.max = max;
        r.kids.push_back(std::move(a));
        return r;
    }

    int number()
    {
        if (!is_digit(peek()))
            fail("number expected");
        long v = 0;
        while (is_digit(peek())) {
            v = v * 10 + (p[i++] - '0');
            if (v > kMaxRepeat)
                fail("repetition count too large");
        }
        return int(v);
    }

    Node leaf(Op op, uint8_t c1 = 0, uint8_t c2 = 0, int x = 0)
    {
        Node n;
        n.atom.op = op;
        n.atom.c1 = c1;
        n.atom.c2 = c2;
        n.atom.x = x;
        return n;
    }

    Node atom()
    {
        char c = p[i++];
        switch (c) {
        case '(': {
            if (++depth > kMaxNesting)
                fail("expression too deeply nested");
            Node g;
            g.kind = Node::GROUP;
            if (peek() == '?') {
                if (i + 1 < p.size() && p[i + 1] == ':')
                    i += 2;
                else
                    fail("unexpected character");
            } else {
                g.capture = re.ncaptures_++;
            }
            g.kids.push_back(alternation());
            if (peek() != ')')
                fail("expected ')'");
            ++i;
            --depth;
            return g;
        }
        case '[': return char_class();
        case '.': return leaf(ANY);
        case '^': return leaf(BOL);
        case '$': return leaf(EOL);
        case '*':
        case '+':
        case '?':
        case '{': fail("unexpected character");
        case '\\': {
            if (at_end())
                fail("letter expected");
            char e = p[i++];
            if (e == 'b')
                return leaf(WORDB);
            if (e == 'B')
                return leaf(NWORDB);
            if (e == 'm') {
                if (i + 2 > p.size())
                    fail("balanced chars expected");
                char open = p[i], close = p[i + 1];
                if (open == close)
                    fail("open/close char can't be the same");
                i += 2;
                return leaf(BALANCE, uint8_t(open), uint8_t(close));
            }
            bool (*pred)(int);
            bool negate;
            if (class_escape(e, &pred, &negate)) {
                Class cl;
                for (int ch = 0; ch < 256; ++ch)
                    if (pred(ch) != negate)
                        cl.set(uint8_t(ch));
                re.classes_.push_back(cl);
                return leaf(CLASS, 0, 0, int(re.classes_.size()) - 1);
            }
            return leaf(CHAR, uint8_t(plain_escape(e)));
        }
        default: return leaf(CHAR, uint8_t(c));
        }
    }

    // One member of a bracket class: a character, or a predefined class when `cl_out` takes it.
    bool class_member(Class& cl, char* out)
    {
        if (at_end())
            fail("letter expected");
        char c = p[i++];
        if (c != '\\') {
            *out = c;
            return true;
        }
        if (at_end())
            fail("letter expected");
        char e = p[i++];
        bool (*pred)(int);
        bool negate;
        if (class_escape(e, &pred, &negate)) {
            for (int ch = 0; ch < 256; ++ch)
                if (pred(ch) != negate)
                    cl.set(uint8_t(ch));
            return false;
        }
        *out = plain_escape(e);
        return true;
    }

    Node char_class()
    {
        bool negated = false;
        if (peek() == '^') {
            negated = true;
            ++i;
        }
        if (peek() == ']')
            fail("empty class");
        Class cl;
        while (at_end() || peek() != ']') {
            char lo;
            if (!class_member(cl, &lo))
                continue;
            if (peek() == '-' && i + 1 < p.size() && p[i + 1] != ']') {
                ++i;
                char hi;
                if (!class_member(cl, &hi))
                    fail("unfinished range");
                if (uint8_t(hi) < uint8_t(lo))
                    fail("invalid range");
                for (int ch = uint8_t(lo); ch <= uint8_t(hi); ++ch)
                    cl.set(uint8_t(ch));
            } else {
                cl.set(uint8_t(lo));
            }
        }
        ++i;
        if (negated)
            for (auto& w : cl.bits)
                w = ~w;
        re.classes_.push_back(cl);
        return leaf(CLASS, 0, 0, int(re.classes_.size()) - 1);
    }
};

// {=============================== Code generation

int Regexp::add(Inst in)
{
    if (prog_.size() >= kMaxProgram)
        throw CompileError{"expression too big"};
    if (in.op == SPLIT)
        in.memo = nsplits_++;
    prog_.push_back(in);
    return int(prog_.size()) - 1;
}

void Regexp::emit(const Node& n)
{
    switch (n.kind) {
    case Node::ATOM:
        add(n.atom);
        break;
    case Node::GROUP:
        if (n.capture >= 0)
            add(Inst{SAVE, 0, 0, 2 * n.capture});
        emit(n.kids[0]);
        if (n.capture >= 0)
            add(Inst{SAVE, 0, 0, 2 * n.capture + 1});
        break;
    case Node::CONCAT:
        for (const Node& k : n.kids)
            emit(k);
        break;
    case Node::ALT: {
        std::vector<int> exits;
        for (size_t k = 0; k + 1 < n.kids.size(); ++k) {
            int split = add(Inst{SPLIT});
            prog_[split].x = split + 1;
            emit(n.kids[k]);
            exits.push_back(add(Inst{JMP}));
            prog_[split].y = int(prog_.size());
        }
        emit(n.kids.back());
        for (int e : exits)
            prog_[e].x = int(prog_.size());
        break;
    }
    case Node::REPEAT: {
        for (int k = 0; k < n.min; ++k)
            emit(n.kids[0]);
        if (n.max == -1) {
            int split = add(Inst{SPLIT});
            prog_[split].x = split + 1;
            emit(n.kids[0]);
            add(Inst{JMP, 0, 0, split});
            prog_[split].y = int(prog_.size());
        } else {
            // x{n,m}: the optional copies nest, (x(x(x)?)?)?, so all exits share one target.
            std::vector<int> splits;
            for (int k = n.min; k < n.max; ++k) {
                int split = add(Inst{SPLIT});
                prog_[split].x = split + 1;
                splits.push_back(split);
                emit(n.kids[0]);
            }
            for (int s : splits)
                prog_[s].y = int(prog_.size());
        }
        break;
    }
    }
}

bool Regexp::compile(std::string_view pattern)
{
    prog_.clear();
    classes_.clear();
    error_ = "";
    nsplits_ = 0;
    ncaptures_ = 1;
    try {
        Parser ps{*this, pattern};
        Node root = ps.alternation();
        if (!ps.at_end())
            throw CompileError{"unexpected character"};
        add(Inst{SAVE, 0, 0, 0});
        emit(root);
        add(Inst{SAVE, 0, 0, 1});
        add(Inst{MATCH});
    } catch (const CompileError& e) {
        error_ = e.what;
        prog_.clear();
        return false;
    }
    caps_.assign(size_t(2 * ncaptures_), -1);
    return true;
}

// {=============================== Matching

Regexp::Result Regexp::run(const char* s, size_t len, size_t start, bool whole)
{
    caps_.assign(size_t(2 * ncaptures_), -1);
    if (prog_.empty() || start > len || len > size_t(INT_MAX))
        return Result::NoMatch;

    const size_t positions = len - start + 1;
    const bool memo = nsplits_ == 0 || size_t(nsplits_) <= kMaxMemoBits / positions;
    if (memo)
        visited_.assign((size_t(nsplits_) * positions + 63) / 64, 0);
    size_t budget = memo ? SIZE_MAX : kFallbackSteps;

    // A literal first character lets the search skip hopeless start positions cheaply.
    const int first = prog_[1].op == CHAR ? prog_[1].c1 : -1;

    struct Frame {
        int pc;
        int sp;
        int slot;  // >= 0: restore caps_[slot] to `old` instead of resuming a branch
        int old;
    };
    std::vector<Frame> stack;

    for (size_t st = start; st <= len; ++st) {
        if (whole && st != start)
            break;
        if (first >= 0 && !whole) {
            const void* hit = st < len ? std::memchr(s + st, first, len - st) : nullptr;
            if (!hit)
                break;
            st = size_t(static_cast<const char*>(hit) - s);
        }
        stack.clear();
        stack.push_back(Frame{0, int(st), -1, 0});
        while (!stack.empty()) {
            Frame f = stack.back();
            stack.pop_back();
            if (f.slot >= 0) {
                caps_[size_t(f.slot)] = f.old;
                continue;
            }
            int pc = f.pc;
            size_t sp = size_t(f.sp);
            for (;;) {
                if (--budget == 0)
                    return Result::TooComplex;
                const Inst& in = prog_[size_t(pc)];
                switch (in.op) {
                case CHAR:
                    if (sp < len && uint8_t(s[sp]) == in.c1) {
                        ++sp;
                        ++pc;
                        continue;
                    }
                    break;
                case ANY:
                    if (sp < len) {
                        ++sp;
                        ++pc;
                        continue;
                    }
                    break;
                case CLASS:
                    if (sp < len && classes_[size_t(in.x)].has(uint8_t(s[sp]))) {
                        ++sp;
                        ++pc;
                        continue;
                    }
                    break;
                case BOL:
                    if (sp == 0) {
                        ++pc;
                        continue;
                    }
                    break;
                case EOL:
                    if (sp == len) {
                        ++pc;
                        continue;
                    }
                    break;
                case WORDB:
                case NWORDB: {
                    bool before = sp > 0 && is_word(uint8_t(s[sp - 1]));
                    bool after = sp < len && is_word(uint8_t(s[sp]));
                    if ((before != after) == (in.op == WORDB)) {
                        ++pc;
                        continue;
                    }
                    break;
                }
                case BALANCE: {
                    if (sp >= len || uint8_t(s[sp]) != in.c1)
                        break;
                    int depth = 1;
                    size_t k = sp + 1;
                    for (; k < len; ++k) {
                        uint8_t ch = uint8_t(s[k]);
                        if (ch == in.c2) {
                            if (--depth == 0)
                                break;
                        } else if (ch == in.c1) {
                            ++depth;
                        }
                    }
                    if (depth != 0)
                        break;
                    sp = k + 1;
                    ++pc;
                    continue;
                }
                case SPLIT:
                    if (memo) {
                        size_t bit = size_t(in.memo) * positions + (sp - start);
                        uint64_t mask = uint64_t(1) << (bit & 63);
                        if (visited_[bit >> 6] & mask)
                            break;
                        visited_[bit >> 6] |= mask;
                    }
                    if (stack.size() >= kMaxBacktrack)
                        return Result::TooComplex;
                    stack.push_back(Frame{in.y, int(sp), -1, 0});
                    pc = in.x;
                    continue;
                case JMP:
                    pc = in.x;
                    continue;
                case SAVE:
                    if (stack.size() >= kMaxBacktrack)
                        return Result::TooComplex;
                    stack.push_back(Frame{0, 0, in.x, caps_[size_t(in.x)]});
                    caps_[size_t(in.x)] = int(sp);
                    ++pc;
                    continue;
                case MATCH:
                    if (whole && sp != len)
                        break;
                    return Result::Match;
                }
                break;  // the current path failed: resume the most recent branch
            }
        }
    }
    caps_.assign(size_t(2 * ncaptures_), -1);
    return Result::NoMatch;
}

Regexp::Result Regexp::search(const char* subject, size_t len, size_t start)
{
    return run(subject, len, start, false);
}

Regexp::Result Regexp::match(const char* subject, size_t len)
{
    return run(subject, len, 0, true);
}

Regexp::Span Regexp::subexp(int i) const
{
    if (i < 0 || i >= ncaptures_ || size_t(2 * i + 1) >= caps_.size())
        return {};
    int b = caps_[size_t(2 * i)], e = caps_[size_t(2 * i + 1)];
    if (b < 0 || e < 0)
        return {};
    return {b, e};
}

}  // namespace sqstd
