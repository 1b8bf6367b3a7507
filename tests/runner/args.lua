print(arg[0]:match("[^/]+$") .. " " .. arg[1] .. " " .. arg[2])
