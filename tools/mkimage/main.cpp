#include <cstdio>
int main() {
  std::fprintf(stderr, "zw-mkimage: not built yet\n");
  return 1;
}
