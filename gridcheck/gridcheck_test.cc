// SPDX-License-Identifier: MIT
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// The program is one unit with static functions; compile it into the test
// with its entry point renamed so the product and the verification can be
// fed other matrices.
#define main gridcheck_main
#include "gridcheck.cpp" // NOLINT(bugprone-suspicious-include): the program under test
#undef main

namespace {

struct Matrix {
	double m[N * N] = {};
	double &at(int r, int c)
	{
		return m[N * r + c];
	}
};

Matrix copy_of(const double source[N * N])
{
	Matrix result;
	for (int e = 0; e < N * N; e++)
		result.m[e] = source[e];
	return result;
}

std::string verify_output(const Matrix &D, const Matrix &expected)
{
	char *text = nullptr;
	size_t size = 0;
	std::FILE *out = open_memstream(&text, &size);
	verify(D.m, expected.m, out);
	std::fclose(out);
	std::string result(text, size);
	std::free(text);
	return result;
}

TEST(Product, TakesTheTransposeOfA)
{
	// Two non-symmetric A whose transpose and plain products differ in
	// every row: D row i is B row i-1 for the shift, and the running sum
	// of B rows 0..i for the upper triangle of ones.
	struct Case {
		const char *name;
		bool (*a)(int k, int i); // A[k][i] is 1 when true, else 0
		double (*expected)(int i, int j);
	};
	static const Case cases[] = {
	    {"shift", [](int k, int i) { return i == (k + 1) % N; },
	     [](int i, int j) { return B[N * ((i + N - 1) % N) + j]; }},
	    {"upper triangle", [](int k, int i) { return k <= i; },
	     [](int i, int j) {
		     double sum = 0;
		     for (int k = 0; k <= i; k++)
			     sum += B[N * k + j];
		     return sum;
	     }},
	};
	for (const Case &c : cases) {
		Matrix a, D;
		for (int k = 0; k < N; k++)
			for (int i = 0; i < N; i++)
				a.at(k, i) = c.a(k, i) ? 1.0 : 0.0;
		product(a.m, B, D.m);
		for (int i = 0; i < N; i++)
			for (int j = 0; j < N; j++)
				ASSERT_EQ(D.at(i, j), c.expected(i, j))
				    << c.name << " at " << i << "," << j;
	}
}

TEST(Product, RoundsEachMultiplyAndEachAddOnceToDouble)
{
	// D[0][0] from the terms A[k][0] * B[k][0], k = 0, 1, ...
	struct Case {
		const char *name;
		std::vector<std::pair<double, double>> terms;
		double expected;
	};
	// (1 + 2^-27)^2 = 1 + 2^-26 + 2^-54 exactly; rounded, the 2^-54 is
	// gone and the sum with -(1 + 2^-26) is 0. A fused multiply-add, or a
	// product held wider than double into the add, keeps it.
	const double x = 1.0 + std::ldexp(1.0, -27);
	const Case cases[] = {
	    {"multiply and add neither fused nor held wider",
	     {{-(1.0 + std::ldexp(1.0, -26)), 1.0}, {x, x}},
	     0.0},
	    // Rounded to 64 bits first, then to 53, these come out one unit
	    // off: below, at double's subnormal step.
	    {"a product rounded once, not twice",
	     {{0x1.88fe58db69d6ap+0, 0x1.ffba9e3e3fc4ap+0}},
	     0x1.88c9178b8901dp+1},
	    {"a product below the normal range rounded once",
	     {{0x1.d6dc8d06670cbp-94, -0x1.988f7556d2a9p-930}},
	     -0x0.bbddd771de34bp-1022},
	};
	for (const Case &c : cases) {
		Matrix a, b, D;
		for (int k = 0; k < static_cast<int>(c.terms.size()); k++) {
			a.at(k, 0) = c.terms[k].first;
			b.at(k, 0) = c.terms[k].second;
		}
		product(a.m, b.m, D.m);
		EXPECT_EQ(D.at(0, 0), c.expected) << c.name;
	}
	EXPECT_NE(std::fma(x, x, -(1.0 + std::ldexp(1.0, -26))), 0.0)
	    << "the operands no longer tell the two apart";
}

TEST(Verify, ReportsEachDifferenceOnceInRowMajorOrder)
{
	const double nan = std::nan("");
	struct Change {
		int row, column;
		double product, expected;
	};
	struct Case {
		const char *name;
		std::vector<Change> changes;
		const char *output;
	};
	const Case cases[] = {
	    {"corners and a two-digit column, set out of order",
	     {{15, 15, 1, 2}, {3, 12, 0, 1}, {0, 0, 5, 4}},
	     "Incorrect element at 0,0\nIncorrect element at 3,12\nIncorrect element at 15,15\n"},
	    {"one unit in the last place",
	     {{7, 1, 1.0, std::nextafter(1.0, 2.0)}},
	     "Incorrect element at 7,1\n"},
	    {"NaN on either side, and on both",
	     {{1, 2, nan, 0}, {2, 1, 0, nan}, {9, 9, nan, nan}},
	     "Incorrect element at 1,2\nIncorrect element at 2,1\nIncorrect element at 9,9\n"},
	    {"signed zeros and infinities are equal",
	     {{4, 4, 0.0, -0.0}, {5, 5, -0.0, 0.0}, {6, 6, INFINITY, INFINITY}},
	     ""},
	    {"the whole last row",
	     {{15, 0, 1, 0}, {15, 1, 1, 0}, {15, 14, 1, 0}, {15, 15, 1, 0}},
	     "Incorrect element at 15,0\nIncorrect element at 15,1\n"
	     "Incorrect element at 15,14\nIncorrect element at 15,15\n"},
	};
	for (const Case &c : cases) {
		Matrix D = copy_of(B), expected = copy_of(B);
		for (const Change &change : c.changes) {
			D.at(change.row, change.column) = change.product;
			expected.at(change.row, change.column) = change.expected;
		}
		EXPECT_EQ(verify_output(D, expected), c.output) << c.name;
	}
}

} // namespace
