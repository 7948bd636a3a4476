/*
 * orvandel-demo: shows one Orvandel box and prints the answer.
 *
 *   orvandel-demo.exe [-x N] [-y N] CAPTION MESSAGE [CHOICE1 [CHOICE2 [CHOICE3]]]
 *   orvandel-demo.exe --version
 *
 * "\n" in MESSAGE stands for CR LF (a row break); "\\" for one backslash.
 * Prints the result (0 for Enter, else the number of the choice) on stdout.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
#include <oleauto.h>

#include "orvandel.h"
#include "orvandel_version.h"

static int usage(void) {
    fputws(L"usage: orvandel-demo [-x N] [-y N] CAPTION MESSAGE [CHOICE1 [CHOICE2 [CHOICE3]]]\n"
           L"       orvandel-demo --version\n"
           L"  \\n in MESSAGE breaks the row; -x/-y move the box from (30, 80)\n",
           stderr);
    return 2;
}

/* The message with each backslash-n turned into CR LF. */
static BSTR message_bstr(const wchar_t* text) {
    size_t n = wcslen(text), out = 0;
    wchar_t* buf = (wchar_t*)malloc((2 * n + 1) * sizeof(wchar_t));
    if (!buf) return NULL;
    for (size_t i = 0; i < n; i++) {
        if (text[i] == L'\\' && i + 1 < n && text[i + 1] == L'n') {
            buf[out++] = L'\r';
            buf[out++] = L'\n';
            i++;
        } else if (text[i] == L'\\' && i + 1 < n && text[i + 1] == L'\\') {
            buf[out++] = L'\\';
            i++;
        } else {
            buf[out++] = text[i];
        }
    }
    BSTR b = SysAllocStringLen(buf, (UINT)out);
    free(buf);
    return b;
}

static int parse_offset(const wchar_t* s, int* value) {
    wchar_t* end = NULL;
    long v = wcstol(s, &end, 10);
    if (!*s || *end) return 0;
    *value = (int)v;
    return 1;
}

/* The demo's own version and the one in the loaded DLL's version resource:
 * they differ only when the DLL beside the demo is from another release. */
static int print_version(void) {
    printf("orvandel-demo %s\n", ORVANDEL_VERSION_STRING);
    wchar_t path[MAX_PATH];
    HMODULE dll = GetModuleHandleW(L"Orvandel.dll");
    DWORD n = dll ? GetModuleFileNameW(dll, path, MAX_PATH) : 0;
    DWORD ignored = 0, size = n && n < MAX_PATH ? GetFileVersionInfoSizeW(path, &ignored) : 0;
    void* info = size ? malloc(size) : NULL;
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixed_size = 0;
    if (info && GetFileVersionInfoW(path, 0, size, info) &&
        VerQueryValueW(info, L"\\", (void**)&fixed, &fixed_size) && fixed_size >= sizeof *fixed) {
        printf("Orvandel.dll %u.%u.%u\n", (unsigned)HIWORD(fixed->dwFileVersionMS),
               (unsigned)LOWORD(fixed->dwFileVersionMS), (unsigned)HIWORD(fixed->dwFileVersionLS));
    } else {
        printf("Orvandel.dll: no version resource found\n");
    }
    free(info);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && !wcscmp(argv[1], L"--version")) return print_version();
    int x = 0, y = 0, i = 1;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] != 0; i++) {
        if (!wcscmp(argv[i], L"--")) { i++; break; }
        if (i + 1 >= argc) return usage();
        if (!wcscmp(argv[i], L"-x")) { if (!parse_offset(argv[++i], &x)) return usage(); }
        else if (!wcscmp(argv[i], L"-y")) { if (!parse_offset(argv[++i], &y)) return usage(); }
        else return usage();
    }
    int rest = argc - i;
    if (rest < 2 || rest > 5) return usage();

    BSTR caption = SysAllocString(argv[i]);
    BSTR message = message_bstr(argv[i + 1]);
    BSTR choice[3] = {NULL, NULL, NULL};
    for (int c = 0; c < rest - 2; c++) choice[c] = SysAllocString(argv[i + 2 + c]);

    int answer = Orvandel(&caption, &message, x, y, rest > 2 ? &choice[0] : NULL,
                          rest > 3 ? &choice[1] : NULL, rest > 4 ? &choice[2] : NULL);
    printf("%d\n", answer);
    fflush(stdout);

    SysFreeString(caption);
    SysFreeString(message);
    for (int c = 0; c < 3; c++) SysFreeString(choice[c]);
    return 0;
}
