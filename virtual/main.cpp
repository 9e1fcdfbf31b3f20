// The virtual controller's program; the pseudo-terminal side comes next.
int main()
{
    return 0;
}
