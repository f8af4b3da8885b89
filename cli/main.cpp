#include "cli/frontend.h"

#include <iostream>

int main(int argc, char** argv) {
    return zelt::RunCommandLine(argc, argv, std::cout, std::cerr);
}
