#include "strings/fields.h"

#include "runtime/errors.h"
#include "strings/dynstr.h"

namespace {

struct Text {
    const char16_t* data;
    uint32_t n;
};

Text operand(const ProcFrame& proc_frame, int depth) {
    Text t;
    t.n = str_len_wide(tmp_slot(proc_frame, depth), &t.data);
    return t;
}

// Two units as one word, so the delimiter's head is tested in one compare.
inline uint32_t pair_at(const char16_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 16;
}

// Lowest k >= pos whose m units equal the delimiter and lie wholly inside the
// source. False when there is none.
bool find_delimiter(Text s, uint32_t pos, Text d, uint32_t* found) {
    if (d.n > s.n || pos > s.n - d.n) return false;
    const uint32_t last = s.n - d.n;
    if (d.n == 1) {
        const char16_t u = d.data[0];
        for (uint32_t k = pos; k <= last; ++k) {
            if (s.data[k] == u) {
                *found = k;
                return true;
            }
        }
        return false;
    }
    const uint32_t head = pair_at(d.data);
    for (uint32_t k = pos; k <= last; ++k) {
        if (pair_at(s.data + k) != head) continue;
        uint32_t j = 2;
        while (j < d.n && s.data[k + j] == d.data[j]) ++j;
        if (j == d.n) {
            *found = k;
            return true;
        }
    }
    return false;
}

// One field of a comma list, read from `pos`.
struct CommaField {
    uint32_t value_start;
    uint32_t value_len;
    bool more;        // a comma ended the field, so another follows
    uint32_t next;    // where that field begins
};

CommaField comma_field(Text s, uint32_t pos) {
    CommaField r = {pos, 0, false, s.n};
    while (pos < s.n && s.data[pos] == u' ') ++pos;
    r.value_start = pos;
    if (pos == s.n) return r;
    if (s.data[pos] == u'"') {
        uint32_t end = pos + 1;
        while (end < s.n && s.data[end] != u'"') ++end;
        r.value_start = pos + 1;
        r.value_len = end - (pos + 1);
        if (end == s.n) return r;  // unterminated: the field runs to the end
        // Text between the closing quote and the comma belongs to no field.
        uint32_t c = end + 1;
        while (c < s.n && s.data[c] != u',') ++c;
        if (c < s.n) {
            r.more = true;
            r.next = c + 1;
        }
        return r;
    }
    uint32_t end = pos;
    while (end < s.n && s.data[end] != u',') ++end;
    uint32_t trimmed = end;
    while (trimmed > pos && s.data[trimmed - 1] == u' ') --trimmed;
    r.value_len = trimmed - pos;
    if (end < s.n) {
        r.more = true;
        r.next = end + 1;
    }
    return r;
}

// Counts fit in 32 bits: a source has at most 2^31 - 1 units.
int32_t count_fields(Text s, Text d) {
    int32_t count = 1;
    if (d.n == 0) {
        for (CommaField c = comma_field(s, 0); c.more; c = comma_field(s, c.next)) ++count;
        return count;
    }
    uint32_t pos = 0, k;
    while (find_delimiter(s, pos, d, &k)) {
        ++count;
        pos = k + d.n;
    }
    return count;
}

// Start and length of field `index` (>= 1); false when the source has fewer.
bool locate_field(Text s, Text d, int32_t index, uint32_t* start, uint32_t* len) {
    if (d.n == 0) {
        CommaField c = comma_field(s, 0);
        for (int32_t i = 1; i < index; ++i) {
            if (!c.more) return false;
            c = comma_field(s, c.next);
        }
        *start = c.value_start;
        *len = c.value_len;
        return true;
    }
    uint32_t pos = 0, k;
    for (int32_t i = 1; i < index; ++i) {
        if (!find_delimiter(s, pos, d, &k)) return false;
        pos = k + d.n;
    }
    *start = pos;
    *len = (find_delimiter(s, pos, d, &k) ? k : s.n) - pos;
    return true;
}

inline bool in_set(char16_t u, Text set) {
    if (set.n <= 4) {
        // Direct comparisons; a short set repeats its last unit to fill four.
        const char16_t* p = set.data;
        const uint32_t l = set.n - 1;
        return u == p[0] || u == p[l < 1 ? l : 1] || u == p[l < 2 ? l : 2] || u == p[l < 3 ? l : 3];
    }
    for (uint32_t i = 0; i < set.n; ++i)
        if (set.data[i] == u) return true;
    return false;
}

int32_t search_set(Text text, Text set, int32_t start) {
    if (start == 0 || text.n == 0) return 0;
    const int64_t n = text.n;
    if (set.n == 0) {
        if (start > 0) return start;
        const int64_t last = n + start + 1;
        return last > 0 ? static_cast<int32_t>(last) : 0;
    }
    if (start > 0) {
        if (start > n) return 0;
        for (int64_t i = start - 1; i < n; ++i)
            if (in_set(text.data[i], set)) return static_cast<int32_t>(i + 1);
        return 0;
    }
    const int64_t last = n + start + 1;
    for (int64_t i = last - 1; i >= 0; --i)
        if (in_set(text.data[i], set)) return static_cast<int32_t>(i + 1);
    return 0;
}

}  // namespace

int32_t field_count(ProcFrame& proc_frame) {
    const int32_t count = count_fields(operand(proc_frame, 1), operand(proc_frame, 0));
    tmp_drop_n(proc_frame, 2);
    return count;
}

namespace {

// The string-valued end of field_at and field_next: a copy of the len units
// at start replaces the two operands.
void leave_field(ProcFrame& proc_frame, Text s, uint32_t start, uint32_t len) {
    StrHandle result = 0;
    if (len > 0) {
        result = str_alloc_wide(len);
        if (result == 0) {
            tmp_set_result(proc_frame, 2, 0);
            raise_internal(&proc_frame, kErrOutOfMemory);
            return;
        }
        char16_t* out = reinterpret_cast<char16_t*>(result);
        for (uint32_t i = 0; i < len; ++i) out[i] = s.data[start + i];
    }
    tmp_set_result(proc_frame, 2, result);
}

}  // namespace

void field_at(ProcFrame& proc_frame, int32_t index) {
    const Text s = operand(proc_frame, 1);
    const Text d = operand(proc_frame, 0);
    if (index < 0) {
        const int64_t from_end = int64_t{count_fields(s, d)} + index + 1;
        index = from_end > 0 ? static_cast<int32_t>(from_end) : 0;
    }
    uint32_t start = 0, len = 0;
    if (index <= 0 || !locate_field(s, d, index, &start, &len)) len = 0;
    leave_field(proc_frame, s, start, len);
}

void field_next(ProcFrame& proc_frame, uint32_t* next) {
    const Text s = operand(proc_frame, 1);
    const Text d = operand(proc_frame, 0);
    const uint32_t pos = *next;
    uint32_t start = 0, len = 0;
    *next = kFieldsDone;
    if (pos <= s.n) {
        if (d.n == 0) {
            const CommaField c = comma_field(s, pos);
            start = c.value_start;
            len = c.value_len;
            if (c.more) *next = c.next;
        } else {
            uint32_t k;
            start = pos;
            if (find_delimiter(s, pos, d, &k)) {
                len = k - pos;
                *next = k + d.n;
            } else {
                len = s.n - pos;
            }
        }
    }
    leave_field(proc_frame, s, start, len);
}

int32_t find_any(ProcFrame& proc_frame, int32_t start) {
    const int32_t pos = search_set(operand(proc_frame, 1), operand(proc_frame, 0), start);
    tmp_drop_n(proc_frame, 2);
    return pos;
}

void string_of_codes(ProcFrame& proc_frame, const int32_t* codes, int count) {
    uint32_t units = 0;
    for (int i = 0; i < count; ++i)
        if (codes[i] != -1) ++units;
    if (units == 0) {
        tmp_push_owned(proc_frame, 0);
        return;
    }
    const StrHandle result = str_alloc_wide(units);
    if (result == 0) {
        tmp_push_owned(proc_frame, 0);
        raise_internal(&proc_frame, kErrOutOfMemory);
        return;
    }
    char16_t* out = reinterpret_cast<char16_t*>(result);
    for (int i = 0; i < count; ++i)
        if (codes[i] != -1) *out++ = static_cast<char16_t>(codes[i] & 0xFFFF);
    tmp_push_owned(proc_frame, result);
}
