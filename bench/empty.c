// SPDX-License-Identifier: MIT
// The cost of starting and ending a process, and nothing else.
int main(void)
{
	return 0;
}
