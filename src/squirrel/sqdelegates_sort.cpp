// sqdelegates_sort.cpp: array.sort([compare]).
//
// Arrays of integers without a comparator (the common, hot case) are radix sorted in
// place, without extra memory (SQArrayStore::SortIntegers). Everything else is a merge
// sort of element positions: the array itself is not touched while comparisons run script
// code (a comparator or _cmp may read or even resize the array), and the finished order is applied at the end by swapping elements, which
// keeps reference counts right. The merge sort only ever compares inside bounds, so a
// comparator that contradicts itself yields some order, never a crash.
#include <cstdint>
#include <cstring>
#include <vector>

#include "sqdelegates_local.h"

namespace {

// Raised by a comparison that failed; the VM's last error already describes it.
struct SortFailed {};

class Sorter {
public:
    Sorter(HSQUIRRELVM v, bool hascmp, SQInteger n) : v_(v), hascmp_(hascmp), n_(n) {}

    // Current element storage; the array must still have the size it had at the start.
    SQObject *data() {
        SQInteger size = 0;
        SQObject *d = sqi_array_data(v_, 1, &size);
        if (!d || size != n_) {
            sq_throwerror(v_, "array resized during sort");
            throw SortFailed{};
        }
        return d;
    }

    // True when element a must come before element b.
    bool less(uint32_t a, uint32_t b) {
        SQObject *d = data();
        const SQObject &x = d[a], &y = d[b];
        if (!hascmp_ && sq_isnumeric(x) && sq_isnumeric(y)) {
            if (sq_isinteger(x) && sq_isinteger(y)) return x._unVal.nInteger < y._unVal.nInteger;
            return sq_objtofloat(&x) < sq_objtofloat(&y);
        }
        SQInteger top = sq_gettop(v_);
        SQInteger r = 0;
        if (hascmp_) {
            sq_push(v_, 2);
            sq_pushroottable(v_);
            push_value(x);
            push_value(y);
            if (SQ_FAILED(sq_call(v_, 3, SQTrue, SQFalse))) throw SortFailed{};
            switch (sq_gettype(v_, -1)) {
            case OT_INTEGER:
                sq_getinteger(v_, -1, &r);
                break;
            case OT_FLOAT: {
                SQFloat f = 0;
                sq_getfloat(v_, -1, &f);
                r = f < 0 ? -1 : (f > 0 ? 1 : 0);
                break;
            }
            default:
                sq_settop(v_, top);
                sq_throwerror(v_, "numeric value expected as return value of the compare function");
                throw SortFailed{};
            }
        } else {
            push_value(x);
            push_value(y);
            if (SQ_FAILED(sqi_compare(v_, -2, -1, &r))) throw SortFailed{};
        }
        sq_settop(v_, top);
        return r < 0;
    }

    // Stable top-down merge sort of positions idx[lo, hi); tmp holds half of them.
    void sort(uint32_t *idx, uint32_t *tmp, size_t lo, size_t hi) {
        if (hi - lo <= 6) {
            for (size_t i = lo + 1; i < hi; ++i) {
                uint32_t x = idx[i];
                size_t j = i;
                while (j > lo && less(x, idx[j - 1])) {
                    idx[j] = idx[j - 1];
                    --j;
                }
                idx[j] = x;
            }
            return;
        }
        size_t mid = lo + (hi - lo) / 2;
        sort(idx, tmp, lo, mid);
        sort(idx, tmp, mid, hi);
        if (!less(idx[mid], idx[mid - 1])) return;  // already in order
        // Only the left run moves out; the merge writes behind the right run's reader.
        size_t nl = mid - lo;
        std::memcpy(tmp, idx + lo, sizeof(uint32_t) * nl);
        size_t i = 0, j = mid, k = lo;
        while (i < nl && j < hi) idx[k++] = less(idx[j], tmp[i]) ? idx[j++] : tmp[i++];
        while (i < nl) idx[k++] = tmp[i++];
    }

private:
    // Pushes an element as script code sees it (weak references give their target).
    void push_value(const SQObject &o) {
        SQObject copy = o;  // the push may run no code, but keep no reference into the array
        sq_pushobject(v_, copy);
        if (sq_isweakref(copy)) {
            sq_getweakrefval(v_, -1);
            sq_remove(v_, -2);
        }
    }

    HSQUIRRELVM v_;
    bool hascmp_;
    SQInteger n_;
};

// Rearranges data so that position k holds the element that was at idx[k], by swaps
// along the permutation's cycles (idx is consumed).
void apply_order(SQObject *data, uint32_t *idx, size_t n) {
    for (size_t s = 0; s < n; ++s) {
        if (idx[s] == s) continue;
        size_t j = s;
        while (idx[j] != s) {
            size_t k = idx[j];
            SQObject t = data[j];
            data[j] = data[k];
            data[k] = t;
            idx[j] = (uint32_t)j;
            j = k;
        }
        idx[j] = (uint32_t)j;
    }
}

}  // namespace

SQInteger sqb_array_sort(HSQUIRRELVM v) {
    bool hascmp = sq_gettop(v) > 1 && sq_gettype(v, 2) != OT_NULL;
    if (!hascmp && SQ_SUCCEEDED(sqi_array_sort_integers(v, 1))) return 0;
    SQInteger n = 0;
    SQObject *data = sqi_array_data(v, 1, &n);
    if (!data || n < 2) return 0;
    std::vector<uint32_t> idx((size_t)n), tmp((size_t)n / 2 + 1);
    for (SQInteger i = 0; i < n; ++i) idx[(size_t)i] = (uint32_t)i;
    Sorter sorter(v, hascmp, n);
    try {
        sorter.sort(idx.data(), tmp.data(), 0, (size_t)n);
        apply_order(sorter.data(), idx.data(), (size_t)n);
    } catch (const SortFailed &) {
        return SQ_ERROR;
    }
    return 0;
}
