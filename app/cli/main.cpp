#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "usage: venturo_mtd_cli COMMAND [OPTIONS]\n");
    return 2;
}
