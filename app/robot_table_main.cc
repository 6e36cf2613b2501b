// Makes the robot table the program reads (logread/robots.h) from the
// maintained list's JSON: vazivev-robot-table LIST.json TABLE. Run by the
// build; exits 1 when the list cannot be read or holds no robot.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "logread/robots.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s LIST.json TABLE\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream json;
  json << in.rdbuf();
  std::string table;
  if (!in || !MakeRobotTable(json.str(), table) || table.empty()) {
    fprintf(stderr, "%s: no robot list in %s\n", argv[0], argv[1]);
    return 1;
  }
  HRobotList check;
  const int robots = check.LoadTable(table);
  std::ofstream out(argv[2], std::ios::binary);
  out << table;
  if (!out.flush()) {
    fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
    return 1;
  }
  printf("%d robots\n", robots);
  return 0;
}
