#include "engine/drive_json.h"

#include "engine/record_json.h"

namespace palvimo {

namespace {

using nlohmann::json;

template <typename Value>
json Or_Null(const std::optional<Value>& value) {
  return value ? json(*value) : json(nullptr);
}

void Put_Known_Text(json& object, const std::string& key, const std::optional<std::string>& text) {
  if (text) {
    Put_Text(object, key, *text);
  } else {
    object[key] = nullptr;
  }
}

void Put_Known_Text(json& object, const std::string& key, const std::string& text) {
  Put_Known_Text(object, key, text.empty() ? std::nullopt : std::optional<std::string>(text));
}

}  // namespace

json Drive_Json(const Drive_Identity& identity, const Drive_Health& health) {
  json drive = json::object();
  Put_Known_Text(drive, "device", identity.device);
  drive["layers"] = identity.layers;
  Put_Known_Text(drive, "backing_file", identity.backing_file);
  Put_Known_Text(drive, "disk", identity.disk);
  Put_Known_Text(drive, "vendor", identity.vendor);
  Put_Known_Text(drive, "model", identity.model);
  Put_Known_Text(drive, "serial", identity.serial);
  drive["size_bytes"] = Or_Null(identity.size_bytes);
  drive["bus"] = Or_Null(identity.bus);
  drive["removable"] = Or_Null(identity.removable);
  json file_system = json::object();
  Put_Known_Text(file_system, "type", identity.file_system);
  Put_Known_Text(file_system, "uuid", identity.uuid);
  Put_Known_Text(file_system, "label", identity.label);
  drive["file_system"] = file_system;
  json smart = {{"available", health.available},
                {"passed", Or_Null(health.passed)},
                {"power_on_hours", Or_Null(health.power_on_hours)},
                {"temperature_celsius", Or_Null(health.temperature_celsius)},
                {"reallocated_sectors", Or_Null(health.reallocated_sectors)},
                {"pending_sectors", Or_Null(health.pending_sectors)},
                {"uncorrectable_sectors", Or_Null(health.uncorrectable_sectors)},
                {"media_errors", Or_Null(health.media_errors)}};
  Put_Known_Text(smart, "reason", health.available ? std::string() : health.reason);
  drive["health"] = smart;
  return drive;
}

json Health_Change_Json(const Health_Change& change) {
  return {{"reallocated_sectors", Or_Null(change.reallocated_sectors)},
          {"pending_sectors", Or_Null(change.pending_sectors)},
          {"uncorrectable_sectors", Or_Null(change.uncorrectable_sectors)},
          {"media_errors", Or_Null(change.media_errors)},
          {"began_failing", change.began_failing},
          {"worse", change.Worse()}};
}

}  // namespace palvimo
