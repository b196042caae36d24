#include "sidlog/mem_write.h"

#include <iostream>

void memWriteBump() {
    std::cout << "BUMP" << std::endl;
}
