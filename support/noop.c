/* The least a program can cost: start, and return. */
int main(void)
{
	return 0;
}
