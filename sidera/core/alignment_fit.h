// Fitting the mount error terms of the two- and three-star alignments.
//
// The pointing model turns the sky into the mount's frame by a rotation, and
// a rotation keeps distances: the axis readings of two stars, once corrected
// by the error terms, lie as far apart as the stars do on the sky. These
// fits find the terms that make the separations agree; the alignment then
// maps the corrected readings onto the sky. Both run under their own
// floating-point guard and fail on any fault.
#pragma once

#include "sidera/core/types.h"

namespace sidera {

// The error terms of a reading, radians.
struct ErrorTerms {
  double index = 0.0;                // added to the axis-1 reading
  double collimation = 0.0;          // axis 0: collimation / cos(axis 1)
  double nonPerpendicularity = 0.0;  // axis 0: nonPerpendicularity * tan(axis 1)
};

// The reading of `s` in the model's frame: axis 1 plus the index error, then
// axis 0 plus the collimation and non-perpendicularity terms of that
// corrected axis-1 angle (the reverse of what SkyToAxes takes off).
AxisPair CorrectedReading(const AlignStar& s, const ErrorTerms& terms);

// Two stars: the index error, for the collimation and non-perpendicularity
// in `terms`. On entry `terms.index` holds the nominal model's estimate; on
// success it holds the fit. Where an index error makes the separations agree
// exactly, the one nearer the estimate is taken (two exist; the pair cannot
// tell them apart); with collimation or non-perpendicularity terms the step
// is repeated until it settles, since the axis-0 difference then depends on
// the index error too. Where none does (centring errors, or a pair that barely
// sees the index error), the one that brings them closest, moving away from
// the estimate only as far as the pair shows. False on a floating-point
// fault, or when the separations still differ by more than a degree (the
// readings cannot belong to these stars).
bool FitIndexError(const AlignStar& s1, const AlignStar& s2, ErrorTerms& terms);

// Three stars: the index and collimation errors, for the non-perpendicularity
// in `terms`, by least squares over the three separations. On entry
// `terms.index` and `terms.collimation` hold the start values; on success
// the fit. Exact readings give the exact terms. False on a floating-point
// fault, or when the separations still differ by more than a degree.
bool FitIndexAndCollimation(const AlignStar& s1, const AlignStar& s2, const AlignStar& s3,
                            ErrorTerms& terms);

}  // namespace sidera
