#include <iostream>

#include "tools/posreg/posreg.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int rc = posreg::Run(args, std::cout, std::cerr);
    std::cout.flush();
    return rc;
}
