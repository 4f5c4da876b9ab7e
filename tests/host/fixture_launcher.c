/* Stands in for the generic launcher where only its PE layout matters. */
int main(void) { return 0; }
