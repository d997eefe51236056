// The trajectory program: integrates the model from x = 0, y = 10 in output
// steps of 0.1 and writes each point to traject.txt and to the console.
#include "trajectory.hpp"

int main() {
  rkv::app::run();
}
