// libFuzzer target for the regular-expression engine alone: the input is a pattern and a
// subject separated by the first zero byte. Every compiled pattern is searched, matched and
// its captures read back, checking the spans stay inside the subject and that a whole-string
// match spans exactly the subject.
#include "sqstd_regexp.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    const void* nul = memchr(data, 0, size);
    size_t plen = nul ? size_t(static_cast<const uint8_t*>(nul) - data) : size;
    const char* subject = nul ? text + plen + 1 : "";
    size_t slen = nul ? size - plen - 1 : 0;

    sqstd::Regexp re;
    if (!re.compile(std::string_view(text, plen)))
        return 0;
    for (size_t start : {size_t(0), slen / 2, slen}) {
        if (re.search(subject, slen, start) != sqstd::Regexp::Result::Match)
            continue;
        for (int i = 0; i < re.subexp_count(); ++i) {
            sqstd::Regexp::Span s = re.subexp(i);
            if (s.begin == -1)
                continue;
            if (s.begin < 0 || s.end < s.begin || size_t(s.end) > slen)
                abort();
        }
        if (size_t(re.subexp(0).begin) < start)
            abort();
    }
    if (re.match(subject, slen) == sqstd::Regexp::Result::Match) {
        sqstd::Regexp::Span whole = re.subexp(0);
        if (whole.begin != 0 || size_t(whole.end) != slen)
            abort();
    }
    return 0;
}
