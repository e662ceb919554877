// The regular-expression engine on its own: syntax, leftmost-first semantics, captures, compile
// errors and the guarantees against pathological patterns.
#include "squirrel/sqstd_regexp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sqstd::Regexp;

// "{b,e}" for the first match of `pattern` in `subject`, "none" without one, "error: ..." when
// the pattern does not compile.
std::string find(const std::string& pattern, const std::string& subject, size_t start = 0)
{
    Regexp re;
    if (!re.compile(pattern))
        return std::string("error: ") + re.error();
    Regexp::Result r = re.search(subject.data(), subject.size(), start);
    if (r == Regexp::Result::TooComplex)
        return "too complex";
    if (r == Regexp::Result::NoMatch)
        return "none";
    Regexp::Span s = re.subexp(0);
    std::string out = "{";
    out += std::to_string(s.begin);
    out += ',';
    out += std::to_string(s.end);
    out += '}';
    return out;
}

std::string compile_error(const std::string& pattern)
{
    Regexp re;
    return re.compile(pattern) ? "ok" : re.error();
}

TEST(Regexp, LiteralsDotAndAnchors)
{
    EXPECT_EQ(find("abc", "xxabcxx"), "{2,5}");
    EXPECT_EQ(find("a.c", "ac"), "none");
    EXPECT_EQ(find("a.c", "a\nc"), "{0,3}");
    EXPECT_EQ(find("\\.", "a.b"), "{1,2}");
    EXPECT_EQ(find("\\\\", "back\\slash"), "{4,5}");
    EXPECT_EQ(find("^abc", "xabc"), "none");
    EXPECT_EQ(find("abc$", "abcabc"), "{3,6}");
    EXPECT_EQ(find("^abc$", "abc"), "{0,3}");
    EXPECT_EQ(find("ABC", "abc"), "none");
    // ^ anchors at the subject start even when the search starts later
    EXPECT_EQ(find("^abc", "abcabc", 1), "none");
    EXPECT_EQ(find("c", "abcabc", 3), "{5,6}");
}

TEST(Regexp, ClassesAndPredefinedClasses)
{
    EXPECT_EQ(find("[aeiou]+", "rhythm and blues"), "{7,8}");
    EXPECT_EQ(find("[^aeiou ]+", "aei xyz"), "{4,7}");
    EXPECT_EQ(find("[0-9a-fA-F]+", "xyz9fA3q"), "{3,7}");
    EXPECT_EQ(find("[a\\-z]+", "b-az"), "{1,4}");
    EXPECT_EQ(find("[\\d_]+", "ab1_2c"), "{2,5}");
    EXPECT_EQ(find("[a-]+", "x-a-"), "{1,4}");
    EXPECT_EQ(find("\\w+", "  hello_1 !"), "{2,9}");
    EXPECT_EQ(find("\\W+", "ab!@c"), "{2,4}");
    EXPECT_EQ(find("\\s+", "ab \t c"), "{2,5}");
    EXPECT_EQ(find("\\a+", "12ab3"), "{2,4}");
    EXPECT_EQ(find("\\A+", "ab12c"), "{2,4}");
    EXPECT_EQ(find("\\l+", "ABcdE"), "{2,4}");
    EXPECT_EQ(find("\\u+", "abCDe"), "{2,4}");
    EXPECT_EQ(find("\\x+", "zzBEEFzz"), "{2,6}");
    EXPECT_EQ(find("\\X+", "BEEFzz"), "{4,6}");
    EXPECT_EQ(find("\\p+", "ab,.;c"), "{2,5}");
    EXPECT_EQ(find("\\c", "ab\x01"), "{2,3}");
    EXPECT_EQ(find("\\t", "a\tb"), "{1,2}");
    // bytes above 127 belong to negated classes only
    EXPECT_EQ(find("\\W", "a\xe9"), "{1,2}");
    EXPECT_EQ(find("[^a]", "a\xff"), "{1,2}");
}

TEST(Regexp, GreedyQuantifiersBacktrack)
{
    EXPECT_EQ(find("a*", "aaab"), "{0,3}");
    EXPECT_EQ(find("x*", "abc"), "{0,0}");
    EXPECT_EQ(find("colou?r", "colour"), "{0,6}");
    EXPECT_EQ(find("a{2}", "caaaab"), "{1,3}");
    EXPECT_EQ(find("a{2,}", "caaaab"), "{1,5}");
    EXPECT_EQ(find("a{2,3}", "caaaab"), "{1,4}");
    EXPECT_EQ(find("a{0}b", "aab"), "{2,3}");
    EXPECT_EQ(find("\\d+5", "12345"), "{0,5}");
    EXPECT_EQ(find("(a|b)*c", "zabbac"), "{1,6}");
    // the greedy group gives back exactly what the rest needs
    Regexp re;
    ASSERT_TRUE(re.compile("(b+)(bbb)"));
    ASSERT_EQ(re.search("bbbbbbb", 7, 0), Regexp::Result::Match);
    EXPECT_EQ(re.subexp(1).end, 4);
    EXPECT_EQ(re.subexp(2).begin, 4);
    EXPECT_EQ(re.subexp(2).end, 7);
}

TEST(Regexp, AlternationPrefersTheFirstAlternative)
{
    EXPECT_EQ(find("cat|dog", "hotdog"), "{3,6}");
    EXPECT_EQ(find("a|ab", "ab"), "{0,1}");
    EXPECT_EQ(find("gr(a|e)y", "grey gray"), "{0,4}");
    // whole-string matching backtracks into later alternatives
    Regexp re;
    ASSERT_TRUE(re.compile("a|ab"));
    EXPECT_EQ(re.match("ab", 2), Regexp::Result::Match);
    EXPECT_EQ(re.match("abc", 3), Regexp::Result::NoMatch);
    // whole-string matching never slides to a later start
    ASSERT_TRUE(re.compile("abc"));
    EXPECT_EQ(re.match("xabc", 4), Regexp::Result::NoMatch);
    EXPECT_EQ(re.match("abc", 3), Regexp::Result::Match);
    EXPECT_EQ(re.search("xabc", 4, 0), Regexp::Result::Match);
}

TEST(Regexp, CapturesAndNonCapturingGroups)
{
    Regexp re;
    ASSERT_TRUE(re.compile("(\\d+)-(\\d+)"));
    EXPECT_EQ(re.subexp_count(), 3);
    std::string text = "pages 12-345 and 6-7";
    ASSERT_EQ(re.search(text.data(), text.size(), 13), Regexp::Result::Match);
    EXPECT_EQ(re.subexp(0).begin, 17);
    EXPECT_EQ(re.subexp(1).end, 18);
    EXPECT_EQ(re.subexp(2).begin, 19);

    ASSERT_TRUE(re.compile("(a)(?:b)(c)"));
    EXPECT_EQ(re.subexp_count(), 3);

    // a group that did not take part reports no span, even after an earlier attempt set it
    ASSERT_TRUE(re.compile("(a)x|(a)y"));
    ASSERT_EQ(re.search("ay", 2, 0), Regexp::Result::Match);
    EXPECT_EQ(re.subexp(1).begin, -1);
    EXPECT_EQ(re.subexp(2).begin, 0);

    // a repeated group keeps its last iteration
    ASSERT_TRUE(re.compile("(ab)+"));
    ASSERT_EQ(re.search("xababab", 7, 0), Regexp::Result::Match);
    EXPECT_EQ(re.subexp(1).begin, 5);
    EXPECT_EQ(re.subexp(1).end, 7);
}

TEST(Regexp, WordBoundariesAndBalancedMatches)
{
    EXPECT_EQ(find("\\bfoo", "foo bar"), "{0,3}");
    EXPECT_EQ(find("foo\\b", "afoob"), "none");
    EXPECT_EQ(find("\\Boo", "foo"), "{1,3}");
    EXPECT_EQ(find("\\m()", "x(a(b)c)d"), "{1,8}");
    EXPECT_EQ(find("\\m{}", "{{}"), "{1,3}");
    EXPECT_EQ(find("\\m[]", "a[[x]]b"), "{1,6}");
    EXPECT_EQ(find("\\m()", "((("), "none");
    EXPECT_EQ(find("f\\m()\\m()", "f(a)(b(c))"), "{0,10}");
}

TEST(Regexp, CompileErrorsUseTheLibraryTexts)
{
    EXPECT_EQ(compile_error("("), "letter expected");
    EXPECT_EQ(compile_error("a)"), "unexpected character");
    EXPECT_EQ(compile_error("[a"), "letter expected");
    EXPECT_EQ(compile_error("a{"), "number expected");
    EXPECT_EQ(compile_error("a{x}"), "number expected");
    EXPECT_EQ(compile_error("(?:"), "letter expected");
    EXPECT_EQ(compile_error("[]"), "empty class");
    EXPECT_EQ(compile_error("[z-a]"), "invalid range");
    EXPECT_EQ(compile_error("a**"), "unexpected character");
    EXPECT_EQ(compile_error("a|"), "letter expected");
    EXPECT_EQ(compile_error("\\m\"\""), "open/close char can't be the same");
    EXPECT_EQ(compile_error("\\m("), "balanced chars expected");
    EXPECT_EQ(compile_error("a{3,2}"), "invalid range");
    EXPECT_EQ(compile_error("a{2"), "expected '}'");
    EXPECT_EQ(compile_error("(a"), "expected ')'");
    EXPECT_EQ(compile_error("\\"), "letter expected");
    EXPECT_EQ(compile_error(""), "letter expected");
}

TEST(Regexp, HostilePatternsStayBounded)
{
    // nested stars over an empty-matching body terminate
    EXPECT_EQ(find("(a*)*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac"), "none");
    EXPECT_EQ(find("(x*)*$", "abc"), "{3,3}");
    EXPECT_EQ(find("(^)*a", "ba"), "{1,2}");
    // exponential alternation blow-up is cut by the visited set
    std::string many(5000, 'a');
    EXPECT_EQ(find("(a|a)*(a|aa)*b", many), "none");
    EXPECT_EQ(find("(?:a|a){30}b", many), "none");
    // deep nesting and huge expansions are refused instead of overflowing
    EXPECT_EQ(compile_error(std::string(5000, '(') + "a" + std::string(5000, ')')),
              "expression too deeply nested");
    EXPECT_EQ(compile_error("((a{1000}){1000}){1000}"), "expression too big");
    EXPECT_EQ(compile_error("a{99999}"), "repetition count too large");
    // long subjects do not recurse
    std::string big(1 << 20, 'x');
    EXPECT_EQ(find("x*y", big), "none");
    EXPECT_EQ(find("(x)*", big), "{0,1048576}");
}

}  // namespace
