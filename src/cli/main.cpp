#include <iostream>

int main() {
    std::cout << "zm880ctl\n";
    return 0;
}
