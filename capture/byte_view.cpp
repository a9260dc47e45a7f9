#include "byte_view.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quillnet {

namespace {

bool pairAt(ByteView bytes, size_t position, const BytePair &pair)
{
    return bytes.byteIs(position, pair.first) && bytes.byteIs(position + pair.secondOffset, pair.second);
}

#if defined(__x86_64__)

// The vector scans test a block of positions at once, each block ending no
// later than `last`, the end of the positions whose pair bytes all lie inside
// the captured bytes, so their loads cannot leave them. The last block is
// moved back to end at `last`; it may repeat positions already found empty.
// They return the first match, or npos once every position before `last` has
// been tested.

template <size_t N>
__attribute__((target("avx512bw"))) size_t findPairsAvx512(const uint8_t *data, std::span<const BytePair, N> pairs,
                                                          size_t from, size_t last)
{
    constexpr size_t width = 64;
    __m512i firsts[N];
    __m512i seconds[N];
    for (size_t k = 0; k < N; ++k) {
        firsts[k] = _mm512_set1_epi8(static_cast<char>(pairs[k].first));
        seconds[k] = _mm512_set1_epi8(static_cast<char>(pairs[k].second));
    }
    for (size_t position = from; position < last; position += width) {
        position = std::min(position, last - width);
        const __m512i block = _mm512_loadu_si512(data + position);
        __mmask64 hits = 0;
#pragma GCC unroll 4
        for (size_t k = 0; k < N; ++k) {
            const __m512i later = _mm512_loadu_si512(data + position + pairs[k].secondOffset);
            hits |= _mm512_cmpeq_epi8_mask(block, firsts[k]) & _mm512_cmpeq_epi8_mask(later, seconds[k]);
        }
        if (hits != 0)
            return position + static_cast<size_t>(__builtin_ctzll(hits));
    }
    return ByteView::npos;
}

template <size_t N>
__attribute__((target("avx2"))) size_t findPairsAvx2(const uint8_t *data, std::span<const BytePair, N> pairs,
                                                     size_t from, size_t last)
{
    constexpr size_t width = 32;
    __m256i firsts[N];
    __m256i seconds[N];
    for (size_t k = 0; k < N; ++k) {
        firsts[k] = _mm256_set1_epi8(static_cast<char>(pairs[k].first));
        seconds[k] = _mm256_set1_epi8(static_cast<char>(pairs[k].second));
    }
    for (size_t position = from; position < last; position += width) {
        position = std::min(position, last - width);
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + position));
        __m256i hits = _mm256_setzero_si256();
#pragma GCC unroll 4
        for (size_t k = 0; k < N; ++k) {
            const __m256i later =
                _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + position + pairs[k].secondOffset));
            hits = _mm256_or_si256(hits, _mm256_and_si256(_mm256_cmpeq_epi8(block, firsts[k]),
                                                          _mm256_cmpeq_epi8(later, seconds[k])));
        }
        const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hits));
        if (mask != 0)
            return position + static_cast<size_t>(__builtin_ctz(mask));
    }
    return ByteView::npos;
}

enum class VectorWidth { Avx512, Avx2, None };

VectorWidth widestVectors()
{
    static const VectorWidth widest = __builtin_cpu_supports("avx512bw") ? VectorWidth::Avx512
                                      : __builtin_cpu_supports("avx2")   ? VectorWidth::Avx2
                                                                         : VectorWidth::None;
    return widest;
}

// Tests [from, last) with the widest vectors this processor has; false when the
// range is too short for them or the processor has none.
template <size_t N>
bool findPairsVectors(const uint8_t *data, std::span<const BytePair, N> pairs, size_t from, size_t last,
                      size_t &found)
{
    switch (widestVectors()) {
    case VectorWidth::Avx512:
        if (last - from < 64)
            return false;
        found = findPairsAvx512<N>(data, pairs, from, last);
        return true;
    case VectorWidth::Avx2:
        if (last - from < 32)
            return false;
        found = findPairsAvx2<N>(data, pairs, from, last);
        return true;
    case VectorWidth::None:
        break;
    }
    return false;
}

bool findPairsVectors(const uint8_t *data, std::span<const BytePair> pairs, size_t from, size_t last,
                      size_t &found)
{
    switch (pairs.size()) {
    case 1:
        return findPairsVectors<1>(data, pairs.first<1>(), from, last, found);
    case 2:
        return findPairsVectors<2>(data, pairs.first<2>(), from, last, found);
    case 3:
        return findPairsVectors<3>(data, pairs.first<3>(), from, last, found);
    case 4:
        return findPairsVectors<4>(data, pairs.first<4>(), from, last, found);
    default:
        return false;
    }
}

#endif

}

size_t ByteView::findAnyPair(std::span<const BytePair> pairs, size_t from, size_t end) const
{
    end = std::min(end, size_);
    size_t position = from;
#if defined(__x86_64__)
    size_t reach = 0;
    for (const BytePair &pair : pairs)
        reach = std::max(reach, pair.secondOffset);
    const size_t last = reach < size_ ? std::min(end, size_ - reach) : 0;
    size_t found = npos;
    if (position < last && findPairsVectors(data_, pairs, position, last, found)) {
        if (found != npos)
            return found;
        position = last;
    }
#endif
    for (; position < end; ++position) {
        for (const BytePair &pair : pairs) {
            if (pairAt(*this, position, pair))
                return position;
        }
    }
    return npos;
}

}
