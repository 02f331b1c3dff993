// Natively a test binary ends normally, so that LeakSanitizer runs its exit check.
int FinishTestProcess(int result) { return result; }
