"""What theory predicts for the values x = w * g of a log-normal cascade.

With n doubling steps and sigma^2 = lambda^2 / n, log w is the sum of n
independent N(-sigma^2, sigma^2) factors, so log w ~ N(-lambda^2, lambda^2),
and g is an independent standard normal. Two values that share the factors of
k generations have Cov(log|x_i|, log|x_j|) = k sigma^2.
"""
import math

EULER_GAMMA = 0.57721566490153286061

# log|g| for a standard normal g: mean -(gamma + ln 2)/2, variance pi^2/8.
LOG_ABS_NORMAL_MEAN = -(EULER_GAMMA + math.log(2.0)) / 2.0
LOG_ABS_NORMAL_VARIANCE = math.pi ** 2 / 8.0


def step_variance(lam, steps):
    return lam * lam / steps


def mean_square():
    """E[x^2] = E[w^2] E[g^2] = exp(-2 lambda^2 + 2 lambda^2) * 1."""
    return 1.0


def mean_log_magnitude(lam):
    return -lam * lam + LOG_ABS_NORMAL_MEAN


def variance_log_magnitude(lam):
    return lam * lam + LOG_ABS_NORMAL_VARIANCE


def lag_covariance(lam, steps, count, lag):
    """Covariance of log|x| at `lag`, averaged over the count - lag pairs of a
    series of `count` values about the true mean.

    A pair shares the factor of the step that made blocks of 2^m values
    (m = 0 .. steps-1) when both lie in one such block: a fraction
    max(0, 1 - lag/2^m) of the pairs in the whole series, counting all N
    starting points, does.
    """
    shared_steps = sum(max(0.0, 1.0 - lag / 2.0 ** m) for m in range(steps))
    return step_variance(lam, steps) * count / (count - lag) * shared_steps
