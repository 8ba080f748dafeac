/* trivial_static.c - the smallest program there is, linked statically: process_bench launches
 * it to measure a launcher without the dynamic loader's work in the child. */
int main(void) { return 0; }
