#pragma once
// NIMBEX_CELL_KERNEL marks a function whose loops run over grid cells (or
// values) and evaluate every operand before selecting a result. Allowing the
// compiler to do so without trap semantics lets it vectorise them, and each
// such function is built for the widest vector unit at hand. No result
// changes: the operations are the same single-precision (or exact double)
// ones, never contracted into fused operations.
#define NIMBEX_CELL_KERNEL                                                                          \
    [[gnu::optimize("no-trapping-math", "no-math-errno", "tree-vectorize", "fp-contract=off")]] \
    __attribute__((target_clones("avx512f", "avx2", "default")))
