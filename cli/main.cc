#include "cli/command.h"

int main(int argc, char** argv) { return pclspool::cli::Main(argc, argv); }
