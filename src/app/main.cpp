// Entry point of the show. The start-up, frame loop and tear-down live in the app library
// (run by the foundation work that follows this skeleton).
int main() { return 0; }
