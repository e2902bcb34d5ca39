#pragma once

#include "engine/uapi.h"

// Every route takes the engine, the request and the response it fills.
namespace NVelmora {

// remote/session.cpp
void RouteSession(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
// remote/google.cpp
void RouteGoogleStart(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
void RouteGoogleCallback(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
// remote/account.cpp: Request.Path is one of the five sign-in paths.
void RouteSignIn(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
void RouteSignOut(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
// engine/library_routes.cpp
void RouteToggleSavedJob(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
void RouteAddOfflineNote(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
void RouteDeleteOfflineNote(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
// remote/content_proxy.cpp: Request.Path begins with "/api/v1/".
void RouteContentProxy(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);

// The answer of a path no route takes.
void SendRouteNotFound(TVelmoraApiServer& Engine, THttpResponse& Response);

} // namespace NVelmora
