/* A program that does nothing: the carrier of the version resources that the
 * version reader is checked against. */
int main(void) { return 0; }
