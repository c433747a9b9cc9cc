#include "job_runner.h"

int main(int argc, char** argv) { return pclspool::cli::Main(argc, argv); }
