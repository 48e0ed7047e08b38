// polar_gaussian.h: standard normal deviates by the polar rejection method.
//
// Each accepted pair of uniforms (w1, w2), mapped to [-1, 1) and lying
// strictly inside the unit disc, gives two independent normals: w2 * fac is returned at once and w1 * fac is cached
// for the next call. The cache is real state: it survives a reseeding of the
// uniform source and takes part in equality.
#pragma once

#include <cmath>

namespace deviates {

/// The factor that turns an accepted pair into normals. rsq lies in (0, 1),
/// so the logarithm is finite and negative and the result finite.
inline double polar_factor(double rsq) { return std::sqrt(-2.0 * std::log(rsq) / rsq); }

/// r^2 of a pair, w1 squared plus w2 squared, in that order.
inline double polar_rsq(double w1, double w2) { return w1 * w1 + w2 * w2; }

/// The accept test: the pair lies strictly inside the unit disc, off its centre.
inline bool polar_accepts(double rsq) { return rsq < 1.0 && rsq != 0.0; }

class polar_gaussian {
 public:
  /// `next_uniform()` yields deviates in [0, 1); they are drawn in pairs.
  template <class UniformSource>
  double operator()(UniformSource&& next_uniform) {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    double w1, w2, rsq;
    do {
      w1 = 2.0 * next_uniform() - 1.0;
      w2 = 2.0 * next_uniform() - 1.0;
      rsq = polar_rsq(w1, w2);
    } while (!polar_accepts(rsq));
    const double fac = polar_factor(rsq);
    spare_ = w1 * fac;
    has_spare_ = true;
    return w2 * fac;
  }

  void reset() { has_spare_ = false; }
  bool has_spare() const { return has_spare_; }

  friend bool operator==(const polar_gaussian& a, const polar_gaussian& b) {
    return a.has_spare_ == b.has_spare_ && (!a.has_spare_ || a.spare_ == b.spare_);
  }

 private:
  bool has_spare_ = false;
  double spare_ = 0.0;
};

}  // namespace deviates
