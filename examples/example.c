/* Calling Orvandel from C: the strings are BSTRs the host owns and frees. */
#include <stdio.h>
#include <windows.h>
#include <oleauto.h>

#include "orvandel.h"

int main(void) {
    BSTR caption = SysAllocString(L"Example in C");
    BSTR message = SysAllocString(L"Save the changes to\r\nreport.txt?");
    BSTR yes = SysAllocString(L"Yes");
    BSTR no = SysAllocString(L"No");

    /* Two choices: the box accepts 1 and 2 and returns that number. */
    int answer = Orvandel(&caption, &message, 0, 0, &yes, &no, NULL);
    printf("answer %d\n", answer);

    SysFreeString(caption);
    SysFreeString(message);
    SysFreeString(yes);
    SysFreeString(no);
    return answer;
}
