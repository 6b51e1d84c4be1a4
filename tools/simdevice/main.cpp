#include <cstdio>

int main() {
    std::fprintf(stderr, "nimbara-simdevice: not built yet\n");
    return 2;
}
