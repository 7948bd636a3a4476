// Calling Orvandel from C++: a small owner for each BSTR, and the addresses
// of the handles passed in.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "orvandel.h"

namespace {

struct Bstr {
    BSTR value;
    explicit Bstr(const wchar_t* text) : value(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
};

}  // namespace

int main() {
    Bstr caption(L"Example in C++");
    Bstr message(L"Which build?");
    Bstr debug(L"Debug"), release(L"Release"), both(L"Both");

    int answer = Orvandel(&caption.value, &message.value, 100, 50, &debug.value, &release.value,
                          &both.value);
    static const char* const names[] = {"none", "Debug", "Release", "Both"};
    std::printf("answer %d (%s)\n", answer, answer >= 0 && answer <= 3 ? names[answer] : "?");
    return answer;
}
