-- A 50-million-step loop summing i % 7, as loop.kvs.
local sum = 0
for i = 1, 50000000 do
  sum = sum + i % 7
end
print("sum", sum)
