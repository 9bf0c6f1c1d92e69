// The resource loader ("UlmRESLOADER.Loader"): localized texts by key for a language, read
// from a named resource set. LoadMessage calls it late bound through ResourceLoader, so a test
// may register any class that implements that interface under the ProgID.
#pragma once

#include <string>
#include <string_view>

#include "automation/object.h"

namespace orv::service {

inline constexpr char kResourceLoaderProgId[] = "UlmRESLOADER.Loader";
inline constexpr char kResourceBaseName[] = "UlmINDUSTRY";

// The members of the loader that LoadMessage uses.
class ResourceLoader : public automation::Object {
 public:
  virtual std::string LanguageID() const = 0;
  virtual void SetLanguageID(std::string_view language) = 0;
  virtual void SetResFileBaseName(std::string_view base_name) = 0;
  virtual void Unload() = 0;
  virtual std::string LoadString(std::string_view key) = 0;
};

// The loader of this component. A fresh loader reports the language "" and reads the
// "UlmINDUSTRY" texts: the base language (Simplified Chinese, whose texts are their own keys),
// "CHT" (Traditional Chinese) or "EN" (English), chosen by LanguageID in any letter case. A key
// it does not hold, or a language it does not know, gives back the key.
class Loader : public ResourceLoader {
 public:
  std::string LanguageID() const override { return language_; }
  void SetLanguageID(std::string_view language) override { language_ = std::string(language); }
  void SetResFileBaseName(std::string_view base_name) override { base_name_ = base_name; }
  // The texts are compiled in, so there is no resource file to release.
  void Unload() override {}
  std::string LoadString(std::string_view key) override;

 private:
  std::string language_;
  std::string base_name_ = kResourceBaseName;
};

// Registers "UlmRESLOADER.Loader" with the object factory (idempotent).
void RegisterResourceLoader();

}  // namespace orv::service
