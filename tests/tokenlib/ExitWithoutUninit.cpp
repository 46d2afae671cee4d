// A client of the token library that forgets uninit_pkcs11: it logs in on the first token of the module named by its
// argument and returns from main, leaving the library and the module to the process's exit.
#include "shared/ZovevOdu.h"

int main(int argc, char** argv) {
    if (argc != 2 || init_pkcs11(argv[1]) != ZV_OK)
        return 2;
    char serials[128];
    int32_t count = 32;
    if (token_find(serials, &count) != ZV_OK || count < 1)
        return 3;
    for (int32_t i = 0; i < count; ++i)
        token_connect(i);
    int32_t remaining = 0;
    return token_login(0, "12345678", &remaining) == ZV_OK ? 0 : 4;
}
