// Option parsing shared by the subcommands.
#include "app/cli.h"

namespace xkit::cli {

namespace {

// "-" alone and negative numbers ("-7") are positionals, not options.
bool IsOptionToken(const std::string& token) {
  return token.size() > 1 && token[0] == '-' && !(token[1] >= '0' && token[1] <= '9');
}

}  // namespace

Args::Args(std::vector<std::string> tokens) : tokens_(std::move(tokens)) {
  optionsEnd_ = tokens_.size();
  for (std::size_t i = 0; i < tokens_.size(); ++i) {
    if (tokens_[i] == "--") {
      optionsEnd_ = i;
      break;
    }
  }
}

std::optional<std::string> Args::Verb(std::span<const std::string_view> verbs) {
  if (optionsEnd_ == 0) return std::nullopt;
  for (const std::string_view verb : verbs) {
    if (tokens_[0] == verb) {
      tokens_.erase(tokens_.begin());
      --optionsEnd_;
      return std::string(verb);
    }
  }
  return std::nullopt;
}

bool Args::Flag(std::string_view name) {
  bool found = false;
  for (std::size_t i = 0; i < optionsEnd_;) {
    if (tokens_[i] == name) {
      tokens_.erase(tokens_.begin() + static_cast<std::ptrdiff_t>(i));
      --optionsEnd_;
      found = true;
    } else if (tokens_[i].starts_with(std::string(name) + "=")) {
      throw UsageError("option " + std::string(name) + " takes no value");
    } else {
      ++i;
    }
  }
  return found;
}

std::optional<std::string> Args::Option(std::string_view name) {
  std::optional<std::string> value;
  const std::string withValue = std::string(name) + "=";
  for (std::size_t i = 0; i < optionsEnd_;) {
    std::size_t taken = 0;
    if (tokens_[i] == name) {
      if (i + 1 >= optionsEnd_) throw UsageError("option " + std::string(name) + " needs a value");
      value = tokens_[i + 1];
      taken = 2;
    } else if (tokens_[i].starts_with(withValue)) {
      value = tokens_[i].substr(withValue.size());
      taken = 1;
    }
    if (taken == 0) {
      ++i;
      continue;
    }
    const auto first = tokens_.begin() + static_cast<std::ptrdiff_t>(i);
    tokens_.erase(first, first + static_cast<std::ptrdiff_t>(taken));
    optionsEnd_ -= taken;
  }
  return value;
}

std::vector<std::string> Args::Positionals(std::size_t min, std::size_t max) {
  std::vector<std::string> result;
  for (std::size_t i = 0; i < tokens_.size(); ++i) {
    if (i == optionsEnd_) continue;  // the "--" itself
    if (i < optionsEnd_ && IsOptionToken(tokens_[i])) {
      throw UsageError("unknown option " + tokens_[i]);
    }
    result.push_back(tokens_[i]);
  }
  if (result.size() < min) throw UsageError("missing argument");
  if (result.size() > max) throw UsageError("unexpected argument " + result[max]);
  return result;
}

}  // namespace xkit::cli
