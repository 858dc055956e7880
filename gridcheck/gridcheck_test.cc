// SPDX-License-Identifier: MIT
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
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
	    // Each 2^-1075, half the least subnormal, a tie that goes to 0;
	    // held wider and summed first, they make 2^-1074.
	    {"products below the least subnormal each rounded, not summed first",
	     {{0x1p-600, 0x1p-475}, {0x1p-600, 0x1p-475}},
	     0.0},
	    // DBL_MAX + 2^970 - 2^918 lies just below the midpoint between
	    // DBL_MAX and 2^1024; rounded to 64 bits first, it is that midpoint
	    // and then goes up to infinity.
	    {"a sum near overflow rounded once",
	     {{0x1.fffffffffffffp1023, 1.0}, {0x1.ffffffffffffep969, 1.0}},
	     0x1.fffffffffffffp1023},
	    // 2^1100 is infinite in double, and infinity less infinity is
	    // NaN; a unit with a wider range held the product would make 0.
	    {"a product past double's range infinite at once",
	     {{0x1p600, 0x1p500}, {-0x1p600, 0x1p500}},
	     NAN},
	};
	for (const Case &c : cases) {
		Matrix a, b, D;
		for (int k = 0; k < static_cast<int>(c.terms.size()); k++) {
			a.at(k, 0) = c.terms[k].first;
			b.at(k, 0) = c.terms[k].second;
		}
		product(a.m, b.m, D.m);
		if (std::isnan(c.expected))
			EXPECT_TRUE(std::isnan(D.at(0, 0)))
			    << c.name << ": " << std::hexfloat << D.at(0, 0);
		else
			EXPECT_EQ(D.at(0, 0), c.expected) << c.name << ": " << std::hexfloat
			                                  << D.at(0, 0) << ", not " << c.expected;
	}
	EXPECT_NE(std::fma(x, x, -(1.0 + std::ldexp(1.0, -26))), 0.0)
	    << "the operands no longer tell the two apart";
}

// The exact product of the significands of two finite doubles: high:low,
// its length in bits (0 when a factor is 0), and the exponent of its lowest
// bit.
struct Exact {
	uint64_t high = 0, low = 0;
	int length = 0, exponent = 0;
	uint64_t bit(int i) const
	{
		return i >= 64 ? high >> (i - 64) & 1 : low >> i & 1;
	}
};

Exact exact_product(double a, double b)
{
	auto parts = [](double x, uint64_t &significand, int &exponent) {
		uint64_t bits;
		std::memcpy(&bits, &x, sizeof bits);
		const int field = static_cast<int>(bits >> 52 & 0x7ff);
		significand = bits & ((uint64_t{1} << 52) - 1);
		if (field != 0)
			significand |= uint64_t{1} << 52;
		exponent = (field != 0 ? field : 1) - 1075;
	};
	uint64_t ma, mb;
	int ea, eb;
	parts(a, ma, ea);
	parts(b, mb, eb);
	Exact p;
	p.exponent = ea + eb;
	if (ma == 0 || mb == 0)
		return p;
	// The 106-bit product, high:low, from 32-bit halves.
	const uint64_t a0 = ma & 0xffffffff, a1 = ma >> 32, b0 = mb & 0xffffffff, b1 = mb >> 32;
	const uint64_t cross = (a0 * b0 >> 32) + (a1 * b0 & 0xffffffff) + (a0 * b1 & 0xffffffff);
	p.low = (cross << 32) | (a0 * b0 & 0xffffffff);
	p.high = a1 * b1 + (a1 * b0 >> 32) + (a0 * b1 >> 32) + (cross >> 32);
	p.length = 128;
	while (p.bit(p.length - 1) == 0)
		p.length--;
	return p;
}

// a * b rounded once to double, to nearest, ties to even, for finite a
// and b, worked out in integers: the target's own arithmetic plays no part
// but the exact scaling of the result.
double rounded_product(double a, double b)
{
	const Exact p = exact_product(a, b);
	const double sign = std::signbit(a) != std::signbit(b) ? -1.0 : 1.0;
	if (p.length == 0)
		return sign * 0.0;
	// Kept: 53 bits, or down to the subnormal step 2^-1074.
	int dropped = p.length - 53;
	if (p.exponent + p.length - 1 < -1022)
		dropped = -1074 - p.exponent;
	if (dropped <= 0)
		return sign * std::ldexp(static_cast<double>(p.low), p.exponent);
	if (dropped > p.length)
		return sign * 0.0;
	uint64_t kept = 0;
	for (int i = p.length - 1; i >= dropped; i--)
		kept = kept << 1 | p.bit(i);
	bool below_half = false;
	for (int i = 0; i < dropped - 1; i++)
		below_half = below_half || p.bit(i) != 0;
	if (p.bit(dropped - 1) != 0 && (below_half || (kept & 1) != 0))
		kept++;
	return sign * std::ldexp(static_cast<double>(kept), p.exponent + dropped);
}

// Whether the 11 bits of a * b after double's 53 are 1 and ten 0s, or 0
// and ten 1s: such a product, rounded first to the 64 bits of a wider
// unit, often lands on the midpoint between two doubles, and then the
// second rounding goes the wrong way about half the time.
bool near_a_midpoint(double a, double b)
{
	const Exact p = exact_product(a, b);
	if (p.length < 64)
		return false;
	uint64_t window = 0;
	for (int i = p.length - 54; i > p.length - 65; i--)
		window = window << 1 | p.bit(i);
	return window == 0x400 || window == 0x3ff;
}

// A double of random significand and sign, its exponent field in [low, high].
double random_double(std::mt19937_64 &random, int low, int high)
{
	const uint64_t field =
	    static_cast<uint64_t>(low) + random() % static_cast<uint64_t>(high - low + 1);
	const uint64_t bits =
	    (random() & ((uint64_t{1} << 52) - 1)) | field << 52 | (random() & 1) << 63;
	double x;
	std::memcpy(&x, &bits, sizeof x);
	return x;
}

TEST(Product, RoundsEachMultiplyOnceOnAnyUnit)
{
	// Products anywhere, near a midpoint between two doubles, near and
	// below double's smallest normal number, and near overflow, against
	// the product rounded in integers: a unit that rounds twice, to its
	// own precision and then to double's (an x87 or m68k FPU left at 64
	// bits), gets some of those near a midpoint wrong; one that rounds to
	// its own range first, some of those below the normal range or near
	// overflow.
	std::mt19937_64 random(20261209);
	int tried = 0, wrong = 0;
	for (int n = 0; n < 12000; n++) {
		double a = random_double(random, 1, 2046), b = 0;
		int exponent;
		std::frexp(a, &exponent);
		switch (n % 3) {
		case 0:
			b = random_double(random, 1, 2046);
			// one in eight: a product in the normal range near a midpoint
			while (n % 24 == 0 && !near_a_midpoint(a, b)) {
				a = random_double(random, 512, 1534);
				b = random_double(random, 512, 1534);
			}
			break;
		case 1: // a product below 2^-1022, by up to 60 binades
			b = std::ldexp(random_double(random, 1023, 1023),
			               -1022 - exponent + 1 - static_cast<int>(random() % 60));
			break;
		default: // near 2^1024
			b = std::ldexp(random_double(random, 1023, 1023),
			               1024 - exponent + static_cast<int>(random() % 3) - 1);
			break;
		}
		if (b == 0 || !std::isfinite(b))
			continue;
		Matrix A, B, D;
		A.at(0, 0) = a;
		B.at(0, 0) = b;
		product(A.m, B.m, D.m);
		const double expected = rounded_product(a, b);
		tried++;
		// (+0.0 plus a product of -0.0 is +0.0)
		if (D.at(0, 0) != expected ||
		    (expected != 0 && std::signbit(D.at(0, 0)) != std::signbit(expected))) {
			if (wrong++ < 5)
				ADD_FAILURE() << std::hexfloat << a << " * " << b << " = "
				              << D.at(0, 0) << ", not " << expected;
		}
	}
	EXPECT_EQ(wrong, 0) << "of " << tried;
	EXPECT_GT(tried, 8000); // the same pairs on every target
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
