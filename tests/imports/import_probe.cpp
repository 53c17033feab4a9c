// A program that must fail the import check: it imports functions that the
// oldest targets lack, as a runtime built for newer Windows would.
#include <windows.h>

static LONG CALLBACK Handler(EXCEPTION_POINTERS*) {
    return EXCEPTION_CONTINUE_SEARCH;
}

int main() {
    void* handler = AddVectoredExceptionHandler(0, Handler);
    return GetTickCount64() == 0 && handler == nullptr;
}
