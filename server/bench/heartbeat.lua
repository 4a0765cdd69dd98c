-- POST time/heartbeat as one of many members, round robin over their tokens.
local members = tonumber(os.getenv("MEMBERS") or "200")
local n = 0
request = function()
  n = n + 1
  local token = "zs_bench_" .. ((n % members) + 1)
  return wrk.format("POST", "/api/v1/time/heartbeat",
    { ["Authorization"] = "Bearer " .. token, ["Content-Type"] = "application/json" },
    '{"device_id":null,"time_entry_id":null,"heartbeat_at":"2026-01-01T10:00:00.000Z"}')
end
