// A program made of one layer's library alone (see the top-level
// CMakeLists.txt): it links only when the layer needs nothing above it.
int main() {
  return 0;
}
