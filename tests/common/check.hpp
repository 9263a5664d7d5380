#pragma once
// What a death test expects of a failed check: the framework's message that a check
// failed, in either of its forms. The text of the check itself is the code's own business.
inline constexpr const char *kCheckFailed = "Assertion failed|\\) : assertion";
