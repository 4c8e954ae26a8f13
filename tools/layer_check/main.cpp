// Linked with one engine layer forced in whole and only the layers below it, so that a symbol
// the layer takes from a higher one fails the link. Never run.
int main() { return 0; }
