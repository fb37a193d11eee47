#include "app/companion.h"

int main(int argc, char** argv) {
    return korvane::runCompanion(argc, argv);
}
