// The program entry: start-up, the windows, the event loop.
#include "shell/program.h"

int main(int argc, char** argv) {
  auto program = qv::StartProgram(qv::State(), argc, argv);
  return program ? program->Exec() : 1;
}
