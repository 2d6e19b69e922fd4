/* Ends with a status no failed start gives: where Wine cannot run a 32-bit
 * program it prints nothing and ends with 0. */
int main(void)
{
    return 42;
}
