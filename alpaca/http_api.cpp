// Routes, answers and limits of the HTTP server.
#include "alpaca/http_api.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "alpaca/alpaca_errors.h"
#include "alpaca/params.h"
#include "alpaca/telescope_api.h"

namespace sidera::alpaca {
namespace {

using nlohmann::json;

// The parameters of a request: the query string of a GET, the body of a PUT.
Params ParamsOf(const httplib::Request& req) {
  if (req.method == "GET") {
    const size_t q = req.target.find('?');
    return Params::FromFormText(q == std::string::npos ? "" : req.target.substr(q + 1));
  }
  return Params::FromFormText(req.body);
}

void PlainText(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

}  // namespace

HttpApi::HttpApi(Telescope& telescope, SetupContext setup)
    : telescope_(telescope), setup_(std::move(setup)) {
  server_.set_payload_max_length(kMaxBodyBytes);
  server_.set_read_timeout(5, 0);
  server_.set_write_timeout(5, 0);
  server_.set_keep_alive_max_count(1000);
  server_.set_keep_alive_timeout(5);
  server_.new_task_queue = [] { return new httplib::ThreadPool(32); };

  const char* device = R"(/api/v1/([^/]+)/([^/]+)/([^/]+))";
  server_.Get(device, [this](const auto& req, auto& res) { Device(req, res); });
  server_.Put(device, [this](const auto& req, auto& res) { Device(req, res); });
  server_.Get(R"(/management/(apiversions|v1/description|v1/configureddevices))",
              [this](const auto& req, auto& res) { Management(req, res); });

  auto html = [](httplib::Response& res, const std::string& page) {
    res.set_content(page, "text/html; charset=utf-8");
  };
  server_.Get("/", [](const auto&, auto& res) { res.set_redirect("/setup"); });
  server_.Get("/setup", [this, html](const auto&, auto& res) {
    html(res, ServerSetupPage(telescope_, setup_));
  });
  server_.Get("/setup/v1/telescope/0/setup", [this, html](const auto&, auto& res) {
    html(res, TelescopeSetupPage(telescope_, setup_));
  });
  server_.Post("/setup/v1/telescope/0/setup", [this, html](const auto& req, auto& res) {
    html(res, SubmitTelescopeSetup(telescope_, setup_, Params::FromFormText(req.body)));
  });

  // What the library answers by itself (no route, a body or address too
  // long, a header it cannot read) becomes Alpaca's 400 with a reason.
  server_.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string reason = "cannot serve " + req.method + " " + req.path;
        if (res.status == 404) reason = "no such path: " + req.path;
        if (res.status == 413) {
          reason = "the request body is larger than " + std::to_string(kMaxBodyBytes) + " bytes";
        }
        if (res.status == 414) reason = "the request address is too long";
        PlainText(res, 400, reason);
        return httplib::Server::HandlerResponse::Handled;
      }));
  server_.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string what = "unknown error";
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        PlainText(res, 500, "internal error: " + what);
      });
}

void HttpApi::Device(const httplib::Request& req, httplib::Response& res) {
  const std::string type = req.matches[1];
  const std::string number = req.matches[2];
  const std::string member = req.matches[3];
  if (type != "telescope") {
    PlainText(res, 400, "this server has no device of type \"" + type + "\" (only telescope 0)");
    return;
  }
  if (number != "0") {
    PlainText(res, 400, "this server has no telescope number " + number + " (only 0)");
    return;
  }
  json answer;
  try {
    const Params params = ParamsOf(req);
    answer["ClientTransactionID"] = params.ClientNumber("ClientTransactionID");
    answer["ServerTransactionID"] = ++serverTransaction_;
    try {
      const auto value =
          CallMember(telescope_, req.method, member, params, params.ClientNumber("ClientID"));
      if (value) answer["Value"] = *value;
      answer["ErrorNumber"] = 0;
      answer["ErrorMessage"] = "";
    } catch (const DeviceError& e) {
      answer["ErrorNumber"] = e.number;
      answer["ErrorMessage"] = e.what();
    }
  } catch (const BadRequest& e) {
    PlainText(res, 400, e.what());
    return;
  }
  res.set_content(answer.dump(), "application/json");
}

void HttpApi::Management(const httplib::Request& req, httplib::Response& res) {
  const Params params = ParamsOf(req);
  json answer = {{"ClientTransactionID", params.ClientNumber("ClientTransactionID")},
                 {"ServerTransactionID", ++serverTransaction_},
                 {"ErrorNumber", 0},
                 {"ErrorMessage", ""}};
  const std::string what = req.matches[1];
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
  res.set_content(answer.dump(), "application/json");
}

}  // namespace sidera::alpaca
