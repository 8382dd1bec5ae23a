// Routes and answers of the Alpaca server.
#include "alpaca/http_api.h"

#include <nlohmann/json.hpp>

#include "alpaca/alpaca_errors.h"
#include "alpaca/json_text.h"
#include "alpaca/params.h"
#include "alpaca/telescope_api.h"

namespace sidera::alpaca {
namespace {

using nlohmann::json;

HttpReply PlainText(int status, const std::string& text) {
  HttpReply reply;
  reply.status = status;
  reply.body = text + "\n";
  return reply;
}

HttpReply Json(const json& answer) {
  HttpReply reply;
  reply.contentType = "application/json";
  reply.body = JsonText(answer);
  return reply;
}

HttpReply Html(std::string page) {
  HttpReply reply;
  reply.contentType = "text/html; charset=utf-8";
  reply.body = std::move(page);
  return reply;
}

// The parameters of a request: the query string of a GET (names in any
// case), the form body of a PUT (names exactly).
Params ParamsOf(const HttpRequest& request) {
  if (request.method == "PUT") return Params::FromBody(request.body);
  return Params::FromQuery(request.query);
}

// A path segment as a reply may quote it: invalid UTF-8 shown as '?'.
std::string Quoted(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : std::string("(not UTF-8 text)");
}

}  // namespace

HttpApi::HttpApi(Telescope& telescope, SetupContext setup)
    : telescope_(telescope), setup_(std::move(setup)) {
  auto device = [this](const HttpRequest& r, std::string_view rest) { return Device(r, rest); };
  Add("GET", "/api/v1/", device, true);
  Add("PUT", "/api/v1/", device, true);
  for (const char* what : {"apiversions", "v1/description", "v1/configureddevices"}) {
    Add("GET", std::string("/management/") + what,
        [this, what](const HttpRequest& r, std::string_view) { return Management(r, what); });
  }
  Add("GET", "/", [](const HttpRequest&, std::string_view) {
    HttpReply reply = PlainText(302, "see /setup");
    reply.location = "/setup";
    return reply;
  });
  Add("GET", "/setup", [this](const HttpRequest&, std::string_view) {
    return Html(ServerSetupPage(telescope_, setup_));
  });
  Add("GET", "/setup/v1/telescope/0/setup", [this](const HttpRequest&, std::string_view) {
    return Html(TelescopeSetupPage(telescope_, setup_));
  });
  Add("POST", "/setup/v1/telescope/0/setup", [this](const HttpRequest& r, std::string_view) {
    return Html(SubmitTelescopeSetup(telescope_, setup_, r.body));
  });
}

void HttpApi::Add(std::string method, std::string path, RouteHandler handler, bool prefix) {
  routes_.push_back({std::move(method), std::move(path), prefix, std::move(handler)});
}

HttpReply HttpApi::Serve(const HttpRequest& request) {
  bool pathKnown = false;
  for (const Route& route : routes_) {
    const bool match =
        route.prefix ? request.path.rfind(route.path, 0) == 0 : request.path == route.path;
    if (!match) continue;
    pathKnown = true;
    if (route.method != request.method) continue;
    return route.handler(request, std::string_view(request.path).substr(route.path.size()));
  }
  // Alpaca answers what it cannot serve with 400 and a reason.
  if (pathKnown)
    return PlainText(400, "cannot serve " + Quoted(request.method) + " " + Quoted(request.path));
  return PlainText(400, "no such path: " + Quoted(request.path));
}

HttpReply HttpApi::Device(const HttpRequest& request, std::string_view rest) {
  // rest: "telescope/0/member"
  const size_t a = rest.find('/');
  const size_t b = a == std::string_view::npos ? a : rest.find('/', a + 1);
  if (b == std::string_view::npos || rest.find('/', b + 1) != std::string_view::npos) {
    return PlainText(400, "no such path: " + Quoted(request.path));
  }
  const std::string_view type = rest.substr(0, a);
  const std::string_view number = rest.substr(a + 1, b - a - 1);
  const std::string member(rest.substr(b + 1));
  if (type != "telescope") {
    return PlainText(
        400, "this server has no device of type \"" + Quoted(type) + "\" (only telescope 0)");
  }
  if (number != "0") {
    return PlainText(400, "this server has no telescope number " + Quoted(number) + " (only 0)");
  }
  json answer;
  try {
    const Params params = ParamsOf(request);
    answer["ClientTransactionID"] = params.ClientNumber("ClientTransactionID");
    answer["ServerTransactionID"] = ++serverTransaction_;
    const uint32_t client = params.ClientNumber("ClientID");
    telescope_.Seen(client);
    try {
      const auto value = CallMember(telescope_, request.method, member, params, client);
      if (value) answer["Value"] = *value;
      answer["ErrorNumber"] = 0;
      answer["ErrorMessage"] = "";
    } catch (const DeviceError& e) {
      answer["ErrorNumber"] = e.number;
      answer["ErrorMessage"] = e.what();
    }
  } catch (const BadRequest& e) {
    return PlainText(400, Quoted(e.what()));
  }
  return Json(answer);
}

HttpReply HttpApi::Management(const HttpRequest& request, std::string_view what) {
  uint32_t clientTransaction = 0;
  try {
    clientTransaction = ParamsOf(request).ClientNumber("ClientTransactionID");
  } catch (const BadRequest& e) {
    return PlainText(400, e.what());
  }
  json answer = {{"ClientTransactionID", clientTransaction},
                 {"ServerTransactionID", ++serverTransaction_},
                 {"ErrorNumber", 0},
                 {"ErrorMessage", ""}};
  if (what == "apiversions") {
    answer["Value"] = json::array({1});
  } else if (what == "v1/description") {
    answer["Value"] = {{"ServerName", "Sidera Alpaca server"},
                       {"Manufacturer", "Sidera"},
                       {"ManufacturerVersion", "1.0"},
                       {"Location", ""}};
  } else {
    answer["Value"] = json::array({{{"DeviceName", telescope_.ModelName()},
                                    {"DeviceType", "Telescope"},
                                    {"DeviceNumber", 0},
                                    {"UniqueID", telescope_.UniqueId()}}});
  }
  return Json(answer);
}

}  // namespace sidera::alpaca
