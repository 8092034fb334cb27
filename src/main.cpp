#include <cstdio>

#include "driver.h"

int main(int argc, char** argv) {
    return static_cast<int>(korve::run(argc, argv, stdout));
}
