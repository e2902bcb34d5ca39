#pragma once

#include <nlohmann/json.hpp>

namespace NVelmora::NDemo {

using TJson = nlohmann::ordered_json;

// The service's catalogue: fixed sample content, built once at start.
struct TSampleData {
  TJson Jobs = TJson::array();        // full job objects, newest first
  TJson BlogPosts = TJson::array();
  TJson CommunityPosts = TJson::array();
  TJson ScamAlerts = TJson::array();
  TJson Courses = TJson::array();
};

TSampleData MakeSampleData();

// The members a job list shows; the detail answer carries the whole object.
TJson JobSummary(const TJson& Job);

} // namespace NVelmora::NDemo
